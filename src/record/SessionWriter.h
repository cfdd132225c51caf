#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cmbvhp {

// The file of a session opened at `wallMs` (local time, to the millisecond)
// on COM`port`: 2026-12-07_13-45-10.223_COM1.log. The names list in the order
// the sessions opened, under `ls` and in a shell's `*.log` alike.
std::string sessionFileName(std::int64_t wallMs, int port);
// The opening time a session file's name gives, as digits that sort as the
// times do; none for a name the console does not give. Names of earlier
// versions (2026-12-07_13-45-10_COM1-2.log) are the console's too.
std::optional<std::string> sessionFileTime(std::string_view name);

// Writes the session files on a thread of its own, so that a slow or stalled
// disk never delays a tick or the window. Work is done in the order it is
// asked for. Each write goes to the file at once: what was handed over is in
// the file even if the console is killed. A session whose file fails is told
// once through the failure callback and written no more.
class SessionWriter {
public:
    // All three are called on the writer's thread. A notice is for the
    // operator; the session goes on.
    using Failure = std::function<void(std::uint64_t session, const std::string& why)>;
    using Opened = std::function<void(std::uint64_t session, const std::string& path)>;
    using Notice = std::function<void(std::uint64_t session, const std::string& what)>;

    SessionWriter(Failure onFailure, Opened onOpened, Notice onNotice = {});
    // Finishes what was asked, waiting at most kExitPatience for the disk; a
    // disk that is stalled longer is left to finish without the callbacks.
    ~SessionWriter();
    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    // Makes the folder and the session's file in it, named after its opening
    // (a millisecond later when that name is taken), and holds the file locked
    // while it is written. The folder is kept within `folderLimit` bytes from
    // then on, with what is waiting to be written: the console's own session
    // files go, oldest by their names first; never a file another console
    // holds locked, nor anything else. A folder that is a symbolic link fails.
    void open(std::uint64_t session, std::filesystem::path folder, std::int64_t openedMs, int port, std::uint64_t folderLimit);
    void write(std::uint64_t session, std::string data);
    // An empty string with the room of one written before, for the next
    // lines: a fresh one would fault its pages in again at every hand-over.
    std::string spare();
    // Flushed and synced, then closed.
    void close(std::uint64_t session);

    // Bytes handed over and not yet written.
    std::size_t queuedBytes() const;
    // Waits until all that was asked is done; false when the time ran out.
    bool waitIdle(std::chrono::milliseconds patience);

    static constexpr std::chrono::seconds kExitPatience{3};
    // Written between two looks at the folder's size, for what other
    // consoles write there meanwhile.
    static constexpr std::uint64_t kCheckEvery = 16u << 20;

private:
    struct Worker;
    std::shared_ptr<Worker> worker_; // shared with its thread, which may outlive this
};

} // namespace cmbvhp
