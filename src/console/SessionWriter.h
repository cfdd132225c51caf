#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace cmbvhp {

// Writes the session files on a thread of its own, so that a slow or stalled
// disk never delays a tick or the window. Work is done in the order it is
// asked for. Each write goes to the file at once: what was handed over is in
// the file even if the console is killed. A session whose file fails is told
// once through the failure callback and written no more.
class SessionWriter {
public:
    // Both are called on the writer's thread.
    using Failure = std::function<void(std::uint64_t session, const std::string& why)>;
    using Opened = std::function<void(std::uint64_t session, const std::string& path)>;

    SessionWriter(Failure onFailure, Opened onOpened);
    // Finishes what was asked, waiting at most kExitPatience for the disk; a
    // disk that is stalled longer is left to finish without the callbacks.
    ~SessionWriter();
    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    // Makes the folder and a new file `name` in it (a number is added when the
    // name is taken), after keeping the folder under `folderLimit` bytes: the
    // oldest session files go first, never the one being written.
    void open(std::uint64_t session, std::filesystem::path folder, std::string name, std::uint64_t folderLimit);
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
    // Written between two looks at the folder's size.
    static constexpr std::uint64_t kCheckEvery = 64u << 20;

private:
    struct Worker;
    std::shared_ptr<Worker> worker_; // shared with its thread, which may outlive this
};

} // namespace cmbvhp
