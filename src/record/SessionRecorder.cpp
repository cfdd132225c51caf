#include "SessionRecorder.h"

#include "common/TextForms.h"
#include "record/SessionReader.h"

#include <QMetaObject>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <ctime>

namespace cmbvhp {

namespace {

std::tm localTime(std::int64_t wallMs)
{
    const auto secs = static_cast<std::time_t>(wallMs / 1000);
    std::tm t{};
    localtime_r(&secs, &t);
    return t;
}

// "13:45:10.223", local time.
void appendTime(std::string& out, std::int64_t wallMs)
{
    const std::tm t = localTime(wallMs);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(wallMs % 1000));
    out += buf;
}

void appendHex(std::string& out, std::span<const std::uint8_t> bytes)
{
    std::size_t at = out.size();
    out.resize(at + 3 * bytes.size());
    for (const std::uint8_t b : bytes) {
        out[at++] = ' ';
        out[at++] = static_cast<char>(kHexDigits[b >> 4]);
        out[at++] = static_cast<char>(kHexDigits[b & 0x0F]);
    }
}

// One line, whatever the text held.
std::string oneLine(const QString& text)
{
    std::string s = text.toStdString();
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

} // namespace

SessionRecorder::SessionRecorder(std::function<void(const QString&)> tell, std::function<Moment()> clock, QObject* parent)
    : QObject(parent), tell_(std::move(tell)), clock_(std::move(clock)), limit_(kDefaultFolderLimitMiB),
      writer_(
          [this](std::uint64_t session, const std::string& why) {
              QMetaObject::invokeMethod(this, [this, session, why] { failed(session, QString::fromStdString(why)); },
                                        Qt::QueuedConnection);
          },
          [this](std::uint64_t session, const std::string& path) {
              QMetaObject::invokeMethod(this, [this, session, path] {
                  if (session == sessions_)
                      filePath_ = QString::fromStdString(path);
              }, Qt::QueuedConnection);
          },
          [this](std::uint64_t session, const std::string& what) {
              QMetaObject::invokeMethod(this, [this, session, what] {
                  if (session == session_)
                      tell_(QString::fromStdString(what));
              }, Qt::QueuedConnection);
          })
{
    // A limit on the size of files must read as a full disk, not end the console.
    std::signal(SIGXFSZ, SIG_IGN);
    folder_ = xdgStateHome();
    if (!folder_.path.empty())
        folder_.path = folder_.path / "cm_bv_hp" / "sessions";
    if (const char* mb = std::getenv("CM_BV_HP_SESSIONS_MB"); mb && *mb) {
        std::uint64_t v = 0;
        const char* end = mb + std::strlen(mb);
        const auto [at, ec] = std::from_chars(mb, end, v);
        if (ec == std::errc() && at == end && v >= 1 && v <= (std::uint64_t{1} << 40))
            limit_ = v;
        else
            limitProblem_ = QStringLiteral("CM_BV_HP_SESSIONS_MB is \"%1\", which is no size in MiB; the sessions folder is "
                                           "kept under %2 MiB.")
                                .arg(QString::fromLocal8Bit(mb))
                                .arg(kDefaultFolderLimitMiB);
    }
    handOver_.setSingleShot(true);
    handOver_.setInterval(kHandOver);
    connect(&handOver_, &QTimer::timeout, this, [this] {
        if (!rx_.empty() && clock_().steadyMs - rxStart_ >= kLongestRx.count())
            closeRx();
        handOver();
        if (!rx_.empty())
            armHandOver();
    });
}

SessionRecorder::~SessionRecorder()
{
    if (active())
        end(QStringLiteral("the console ended"), {}, clock_());
}

void SessionRecorder::begin(const Header& h, const Moment& at)
{
    if (active())
        end(QStringLiteral("a new session began"), {}, at);
    session_ = ++sessions_;
    failed_ = false;
    filePath_.clear(); // what the last session held was handed over or dropped at its end
    lastFrame_.reset();
    received_ = 0;
    if (!limitProblem_.isEmpty())
        tell_(std::exchange(limitProblem_, QString()));
    if (folder_.path.empty()) {
        failed(session_, QString::fromStdString(folder_.problem));
        return;
    }
    const std::tm t = localTime(at.wallMs);
    day_ = (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday; // the header gives the first day
    writer_.open(session_, folder_.path, at.wallMs, h.port, limit_ << 20);

    char opened[64];
    std::strftime(opened, sizeof opened, "%Y-%m-%d ", &t);
    char zone[16];
    std::strftime(zone, sizeof zone, "%z", &t); // +0100
    std::string z(zone);
    if (z.size() == 5)
        z = z.substr(0, 3) + ':' + z.substr(3); // +01:00
    pending_ += "# cm_bv_hp " CMBVHP_VERSION " session of COM" + std::to_string(h.port) + ", opened " + opened;
    appendTime(pending_, at.wallMs);
    pending_ += " local time (UTC" + z + ")\n";
    pending_ += "# port COM" + std::to_string(h.port) + ": " + oneLine(h.reach) + "\n";
    pending_ += "# line settings " + oneLine(h.settings) + "\n";
    pending_ += "# devices " + oneLine(h.devices) + "\n";
    pending_ += "# events: TX sent, DROP not taken by the port, RX received (+ms after the frame before), OP operator, NOTE console\n";
    handOver();
}

// Event lines carry no date: each new local day is marked before its first.
void SessionRecorder::markDay(std::int64_t wallMs)
{
    const std::tm t = localTime(wallMs);
    const int day = (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday;
    if (day == day_)
        return;
    day_ = day;
    char date[32];
    std::strftime(date, sizeof date, "# date %Y-%m-%d\n", &t);
    pending_ += date;
}

void SessionRecorder::line(const Moment& at, const char* tag, std::string_view text)
{
    markDay(at.wallMs);
    appendTime(pending_, at.wallMs);
    pending_ += ' ';
    pending_ += tag;
    if (!text.empty()) {
        pending_ += ' ';
        pending_ += text;
    }
    pending_ += '\n';
    armHandOver();
}

void SessionRecorder::op(const QString& what, const Moment& at)
{
    if (!active())
        return;
    closeRx();
    line(at, "OP", oneLine(what));
}

void SessionRecorder::note(const QString& text, const Moment& at)
{
    if (!active())
        return;
    closeRx();
    line(at, "NOTE", oneLine(text));
}

void SessionRecorder::frameSent(std::span<const std::uint8_t> frame, bool taken, const Moment& at)
{
    if (!active())
        return;
    closeRx();
    std::string hex;
    appendHex(hex, frame);
    line(at, taken ? "TX" : "DROP", std::string_view(hex).substr(1));
    if (taken)
        lastFrame_ = at.steadyMs;
}

void SessionRecorder::bytesReceived(std::span<const std::uint8_t> bytes, const Moment& at)
{
    if (!active() || bytes.empty())
        return;
    received_ += bytes.size();
    // A large read goes in pieces, each of which may end the line: no RX line
    // is longer than a reader of the file takes.
    static_assert(kHandOverSize + 3 * kRxPiece + 64 < kLongestSessionLine);
    for (std::size_t from = 0; from < bytes.size(); from += kRxPiece) {
        if (rx_.empty()) {
            appendTime(rx_, at.wallMs);
            rx_ += " RX";
            rxStart_ = at.steadyMs;
            rxStartWall_ = at.wallMs;
        }
        appendHex(rx_, bytes.subspan(from, std::min(kRxPiece, bytes.size() - from)));
        armHandOver();
    }
}

void SessionRecorder::closeRx()
{
    if (rx_.empty())
        return;
    if (lastFrame_)
        rx_ += " +" + std::to_string(std::max<std::int64_t>(0, rxStart_ - *lastFrame_)) + " ms";
    markDay(rxStartWall_);
    pending_ += rx_;
    pending_ += '\n';
    rx_.clear();
}

void SessionRecorder::end(const QString& reason, const QStringList& closing, const Moment& at)
{
    if (!active())
        return;
    closeRx();
    pending_ += "# closed ";
    appendTime(pending_, at.wallMs);
    pending_ += ": " + oneLine(reason) + "\n";
    for (const QString& c : closing)
        pending_ += "# " + oneLine(c) + "\n";
    pending_ += "# " + std::to_string(received_) + " bytes received\n";
    handOver();
    writer_.close(session_);
    session_ = 0;
    handOver_.stop();
}

void SessionRecorder::armHandOver()
{
    if (pending_.size() + rx_.size() >= kHandOverSize) {
        closeRx();
        handOver();
    }
    if (!handOver_.isActive())
        handOver_.start();
}

void SessionRecorder::handOver()
{
    if (pending_.empty())
        return;
    if (!failed_ && writer_.queuedBytes() > kMostQueued)
        failed(session_, QStringLiteral("the disk does not take the file's lines in time"));
    if (!failed_) {
        writer_.write(session_, std::move(pending_));
        pending_ = writer_.spare();
    }
    pending_.clear();
}

void SessionRecorder::failed(std::uint64_t session, const QString& why)
{
    if (session != session_) {
        tell_(QStringLiteral("The file of the session that ended is incomplete: %1.").arg(why));
        return;
    }
    if (failed_)
        return;
    failed_ = true; // what waits is dropped at the next hand-over
    tell_(QStringLiteral("This session is not being recorded: %1.").arg(why));
}

bool SessionRecorder::waitWritten(std::chrono::milliseconds patience)
{
    if (!rx_.empty())
        closeRx();
    handOver();
    return writer_.waitIdle(patience);
}

} // namespace cmbvhp
