#include "QtSerialBackend.h"

#include <QMetaObject>

#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#endif

namespace cmbvhp {

namespace {

QSerialPort::Parity toQt(Parity p)
{
    switch (p) {
    case Parity::None: return QSerialPort::NoParity;
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

#ifdef Q_OS_UNIX
void verifyApplied(int fd, const LineSettings& s)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        throw CommError("cannot read the line settings back");
    if (const char* what = refusedSetting(t, s))
        throw CommError(std::string("the port refused the ") + what);
}
#endif

} // namespace

#ifdef Q_OS_UNIX
// A pseudo-terminal has no line: it passes bytes unchanged and keeps 8 data
// bits without parity whatever it is asked for. Only real ports are checked.
bool isPseudoTerminal(const struct stat& st) { return S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143; }

// Some drivers accept any termios request and keep what they can do; the
// settings read back tell a refused one, which is an error, not a silent
// substitute.
const char* refusedSetting(const termios& t, const LineSettings& s)
{
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if ((t.c_cflag & CSIZE) != sizes[s.dataBits - 5])
        return "data bits";
    const bool parity = (t.c_cflag & PARENB) != 0;
    const bool odd = (t.c_cflag & PARODD) != 0;
    const bool stick = (t.c_cflag & CMSPAR) != 0;
    bool ok = false;
    switch (s.parity) {
    case Parity::None: ok = !parity; break;
    case Parity::Even: ok = parity && !odd && !stick; break;
    case Parity::Odd: ok = parity && odd && !stick; break;
    case Parity::Mark: ok = parity && odd && stick; break;
    case Parity::Space: ok = parity && !odd && stick; break;
    }
    if (!ok)
        return "parity";
    if (((t.c_cflag & CSTOPB) != 0) != (s.stopBits == StopBits::Two))
        return "stop bits";
    return nullptr;
}
#endif

QtSerialBackend::QtSerialBackend(QObject* parent) : QObject(parent)
{
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (listener())
            listener()->readable();
        if (!draining_)
            rest();
    });
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialBackend::onError);
    restEnd_.setSingleShot(true);
    restEnd_.setInterval(kLongestRest);
    connect(&restEnd_, &QTimer::timeout, this, [this] { drain(AfterDrain::Listen); });
}

// QSerialPort switches its notification on again whenever it is read; it is
// found among the port's children (without it the port simply never rests).
void QtSerialBackend::rest()
{
    if (!readNotifier_)
        for (QSocketNotifier* n : port_.findChildren<QSocketNotifier*>())
            if (n->type() == QSocketNotifier::Read)
                readNotifier_ = n;
    if (!readNotifier_ || !port_.isOpen())
        return;
    readNotifier_->setEnabled(false);
    resting_ = true;
    restClock_.start();
    restEnd_.start();
}

bool QtSerialBackend::drain(AfterDrain after)
{
    if (!port_.isOpen())
        return false;
    const bool rested = std::exchange(resting_, false);
    restEnd_.stop();
    if (readNotifier_)
        readNotifier_->setEnabled(true);
    // What came while the port rested may have come at any time since the
    // rest began; a listening port may hold bytes its notification has not
    // told yet. Both are read and delivered before returning; nothing waiting
    // is a timeout, not an error of the port's.
    waited_ = rested ? std::chrono::milliseconds(restClock_.elapsed()) : std::chrono::milliseconds{};
    draining_ = true;
    const bool came = port_.waitForReadyRead(0);
    if (!came && port_.error() == QSerialPort::TimeoutError)
        port_.clearError();
    draining_ = false;
    waited_ = {};
    // A busy line is drained again at the next beat: waking for the next
    // delivery in between would only add a wakeup.
    if (came && rested && after == AfterDrain::RestWhileBusy)
        rest();
    return resting_;
}

QtSerialBackend::~QtSerialBackend() { port_.close(); }

void QtSerialBackend::open(const std::string& device, const LineSettings& s, bool dtr, bool rts)
{
    // The host's termios has no 1.5 stop bits and no 4 data bits; refuse them
    // instead of opening with something else.
    if (s.stopBits == StopBits::OneAndHalf)
        throw CommError("1.5 stop bits are not supported by this host");
    if (s.dataBits < 5 || s.dataBits > 8)
        throw CommError("data bits not supported by this host");

    port_.setPortName(QString::fromStdString(device));
    port_.setBaudRate(s.baud);
#ifdef Q_OS_UNIX
    // Asked for what it drops, a pseudo-terminal left with all else as asked
    // (by a console that was killed) reads back unchanged, which QSerialPort
    // takes for a refused open. Ask it only for what it keeps.
    struct stat st{};
    const bool pseudo = ::stat(device.c_str(), &st) == 0 && isPseudoTerminal(st);
#else
    const bool pseudo = false;
#endif
    port_.setParity(pseudo ? QSerialPort::NoParity : toQt(s.parity));
    port_.setDataBits(pseudo ? QSerialPort::Data8 : static_cast<QSerialPort::DataBits>(s.dataBits));
    port_.setStopBits(s.stopBits == StopBits::Two ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // The opening has its number before anything can report, so that a loss
    // while it is being opened is this opening's and not taken for a late
    // report of the one before.
    ++openings_;
    lossQueued_ = false;
    if (!port_.open(QIODevice::ReadWrite)) {
        const std::string why = port_.errorString().toStdString();
        port_.clearError();
        throw CommError(why);
    }
    try {
        if (port_.baudRate() != s.baud)
            throw CommError("the port refused the baud rate");
#ifdef Q_OS_UNIX
        if (!pseudo)
            verifyApplied(static_cast<int>(port_.handle()), s);
#endif
        setModemLine(&QSerialPort::setDataTerminalReady, dtr, "DTR");
        setModemLine(&QSerialPort::setRequestToSend, rts, "RTS");
        // A port that was closed holds nothing; a pseudo-terminal keeps what was
        // written to it meanwhile, replies that belong to an earlier session.
        port_.clear(QSerialPort::Input);
    } catch (...) {
        close();
        throw;
    }
    port_.clearError();
}

// A pseudo-terminal has no modem lines to set; that is not a failure. A device
// that went away while the port was being opened is, and so is a line refused.
void QtSerialBackend::setModemLine(bool (QSerialPort::*set)(bool), bool on, const char* name)
{
    if (onModemLine)
        onModemLine(name, on);
    if ((port_.*set)(on) || port_.error() == QSerialPort::UnsupportedOperationError) {
        port_.clearError();
        return;
    }
    if (port_.error() == QSerialPort::ResourceError)
        throw CommError("the device was removed while the port was being opened");
    throw CommError(std::string("the port refused to set ") + name + ": " + port_.errorString().toStdString());
}

void QtSerialBackend::close()
{
    resting_ = false;
    restEnd_.stop();
    // A frame handed over is sent, not dropped by the close: the session
    // file says it went out.
    if (port_.isOpen()) {
        port_.flush();
        port_.close();
    }
    ++openings_;
    lossQueued_ = false;
}

bool QtSerialBackend::isOpen() const { return port_.isOpen(); }

void QtSerialBackend::write(std::span<const std::uint8_t> bytes)
{
    port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

std::size_t QtSerialBackend::pendingWrite() const { return static_cast<std::size_t>(port_.bytesToWrite()); }

std::size_t QtSerialBackend::bytesAvailable() const { return static_cast<std::size_t>(port_.bytesAvailable()); }

std::size_t QtSerialBackend::read(std::span<std::uint8_t> into)
{
    const qint64 n = port_.read(reinterpret_cast<char*>(into.data()), static_cast<qint64>(into.size()));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void QtSerialBackend::onError(QSerialPort::SerialPortError error)
{
    // A vanished device keeps its descriptor readable and every read fails, so
    // these errors repeat as fast as the loop turns. Report the loss once, and
    // close outside the port's own signal.
    const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError || error == QSerialPort::WriteError;
    if (lost && port_.isOpen() && !lossQueued_) {
        lossQueued_ = true;
        // The port's own error text carries whatever errno was left; say what
        // the operator needs to know.
        lossReason_ = error == QSerialPort::ResourceError ? "the device was removed"
                      : error == QSerialPort::ReadError  ? "the device no longer answers reads"
                                                         : "the device no longer takes writes";
        QMetaObject::invokeMethod(this, [this, opening = openings_] { reportLoss(opening); }, Qt::QueuedConnection);
    }
}

void QtSerialBackend::reportLoss(unsigned opening)
{
    if (opening != openings_ || !port_.isOpen())
        return; // that opening is over: the operator closed the port since
    port_.close();
    port_.clearError();
    if (listener())
        listener()->lost(lossReason_);
}

} // namespace cmbvhp
