#pragma once

#include "SessionWriter.h"
#include "common/XdgFolders.h"
#include "link/Traffic.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace cmbvhp {

// The session file: from "Port Open" until the port is closed, lost or the
// console ends, one file in $XDG_STATE_HOME/cm_bv_hp/sessions named after the
// local time of the opening and the port (2026-12-07_13-45-10_COM1.log).
//
// Plain text, one event a line in the order they happened, each line the
// local time to the millisecond and a tag:
//   13:45:10.223 TX 5A A5            a frame that went out
//   13:45:10.223 DROP 5A A5          a frame the port did not take
//   13:45:10.241 RX 22 03 1B 01 00 19 +18 ms
//                                    bytes received since the frame before,
//                                    the time of the first and how long after
//                                    that frame it came (none before the first)
//   13:45:11.002 OP Change 100.7     what the operator did that changes the wire
//   13:45:12.000 NOTE ...            a message the console wrote into a log
// and "#" lines: the header; "# date 2026-12-08" before the first event of
// each new local day; the reason the session ended with each device's line
// health and the bytes received.
//
// Bytes received are kept as they came, whatever the view. What came more
// than a second ago is in the file, even if the console is killed.
class SessionRecorder : public QObject, public TrafficObserver {
public:
    // An RX line open this long is written out; what follows starts another.
    static constexpr std::chrono::milliseconds kLongestRx{500};
    // Lines wait at most this long before they go to the file, or until this
    // much waits, whichever comes first.
    static constexpr std::chrono::milliseconds kHandOver{400};
    static constexpr std::size_t kHandOverSize = 1u << 20;
    // Received bytes are taken into an RX line this many at a time.
    static constexpr std::size_t kRxPiece = 64u << 10;
    // A disk that has not taken this much fails the session.
    static constexpr std::size_t kMostQueued = 32u << 20;
    static constexpr std::uint64_t kDefaultFolderLimitMiB = 1024;

    struct Header {
        int port = 0;
        QString reach;    // what the port number reaches
        QString settings; // the line settings text
        QString devices;  // the device choice
    };

    // `tell` writes one line of the console's own into the receive log;
    // `clock` is the window's.
    SessionRecorder(std::function<void(const QString&)> tell, std::function<Moment()> clock, QObject* parent = nullptr);
    ~SessionRecorder() override;

    // $XDG_STATE_HOME/cm_bv_hp/sessions, or why there is none.
    const BaseFolder& folder() const { return folder_; }
    std::uint64_t folderLimit() const { return limit_; }

    void begin(const Header& header, const Moment& at);
    void op(const QString& what, const Moment& at);
    void note(const QString& text, const Moment& at);
    // The session ends: its reason and closing lines ("#" added), then the
    // file is flushed, synced and closed.
    void end(const QString& reason, const QStringList& closing, const Moment& at);
    bool active() const { return session_ != 0; }
    // The file of the last session, once the writer has made it.
    const QString& filePath() const { return filePath_; }
    // Hands the whole lines held to the writer now, without waiting.
    void handOverNow() { handOver(); }
    // Waits until what was handed over is written (tests, the end of the program).
    bool waitWritten(std::chrono::milliseconds patience);

    void frameSent(std::span<const std::uint8_t> frame, bool taken, const Moment& at) override;
    void bytesReceived(std::span<const std::uint8_t> bytes, const Moment& at) override;

private:
    void line(const Moment& at, const char* tag, std::string_view text);
    void markDay(std::int64_t wallMs);
    void closeRx();
    void handOver();
    void armHandOver();
    void failed(std::uint64_t session, const QString& why);

    std::function<void(const QString&)> tell_;
    std::function<Moment()> clock_;
    BaseFolder folder_;
    std::uint64_t limit_;
    QString limitProblem_;
    SessionWriter writer_;
    QTimer handOver_;
    std::uint64_t session_ = 0;
    std::uint64_t sessions_ = 0;
    bool failed_ = false;
    QString filePath_;
    std::string pending_; // whole lines not yet handed over
    std::string rx_;      // the RX line being received, without its end
    std::int64_t rxStart_ = 0;
    std::int64_t rxStartWall_ = 0;
    int day_ = 0; // the local day of the last line, as YYYYMMDD
    std::optional<std::int64_t> lastFrame_; // steady time of the last frame that went out
    std::uint64_t received_ = 0;
};

} // namespace cmbvhp
