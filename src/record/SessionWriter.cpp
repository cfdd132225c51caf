#include "SessionWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace cmbvhp {

namespace fs = std::filesystem;

std::string sessionFileName(std::int64_t wallMs, int port)
{
    const auto secs = static_cast<std::time_t>(wallMs / 1000);
    std::tm t{};
    localtime_r(&secs, &t);
    char name[64];
    const std::size_t n = std::strftime(name, sizeof name, "%Y-%m-%d_%H-%M-%S", &t);
    std::snprintf(name + n, sizeof name - n, ".%03d_COM%d.log", static_cast<int>(wallMs % 1000), port);
    return name;
}

std::optional<std::string> sessionFileTime(std::string_view name)
{
    std::string key;
    // Takes the text as `shape` shows it, '0' standing for a digit, which
    // goes into the key.
    auto take = [&](std::string_view shape) {
        if (name.size() < shape.size())
            return false;
        for (std::size_t i = 0; i < shape.size(); ++i)
            if (shape[i] == '0' ? name[i] < '0' || name[i] > '9' : name[i] != shape[i])
                return false;
        for (std::size_t i = 0; i < shape.size(); ++i)
            if (shape[i] == '0')
                key += name[i];
        name.remove_prefix(shape.size());
        return true;
    };
    // A number without a leading zero, of at most `digits` digits.
    auto number = [&](std::size_t digits) {
        std::size_t n = 0;
        while (n < name.size() && name[n] >= '0' && name[n] <= '9')
            ++n;
        if (n == 0 || n > digits || name[0] == '0')
            return std::string();
        std::string out(name.substr(0, n));
        name.remove_prefix(n);
        return out;
    };
    if (!take("0000-00-00_00-00-00"))
        return std::nullopt;
    const bool millis = take(".000");
    if (!millis)
        key += "000";
    if (!name.starts_with("_COM"))
        return std::nullopt;
    name.remove_prefix(4);
    const std::string port = number(2);
    if (port.empty() || std::stoi(port) > 16)
        return std::nullopt;
    // An earlier version numbered a second session of the same second.
    std::string second = "1";
    if (!millis && name.starts_with('-')) {
        name.remove_prefix(1);
        second = number(6);
    }
    if (second.empty() || name != ".log")
        return std::nullopt;
    return key + std::string(6 - second.size(), '0') + second;
}

namespace {
// Removes a file unless another console holds it locked (it is writing it).
bool removeUnlessLocked(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    const bool removed = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::unlink(file.c_str()) == 0;
    ::close(fd);
    return removed;
}
} // namespace

struct SessionWriter::Worker {
    struct Job {
        enum Kind { Open, Write, Close } kind;
        std::uint64_t session;
        std::string data; // the bytes
        fs::path folder;
        std::int64_t openedMs = 0;
        int port = 0;
        std::uint64_t limit = 0;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool stopping = false;
    std::atomic<std::size_t> queued{0};
    std::string spare; // written, emptied, kept for its room
    // Cleared, under the mutex, when the writer's owner is gone.
    Failure onFailure;
    Opened onOpened;
    Notice onNotice;

    // The thread's own: the file being written.
    std::uint64_t session = 0;
    int fd = -1;
    fs::path folder;
    fs::path path;
    std::uint64_t limit = 0;
    std::uint64_t sinceCheck = 0;
    std::uint64_t own = 0;    // written to the file
    std::uint64_t others = 0; // the folder's other session files, at the last look
    bool toldAlone = false;

    void push(Job job)
    {
        {
            const std::lock_guard lock(mutex);
            if (job.kind == Job::Write)
                queued += job.data.size();
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            lock.unlock();
            switch (job.kind) {
            case Job::Open: doOpen(job); break;
            case Job::Write: doWrite(job); break;
            case Job::Close: doClose(job); break;
            }
            if (job.kind == Job::Write)
                queued -= job.data.size();
            job.data.clear();
            lock.lock();
            if (job.data.capacity() > spare.capacity())
                spare = std::move(job.data);
            busy = false;
            if (jobs.empty())
                idle.notify_all();
        }
    }

    template <typename F, typename... Args>
    void call(const F Worker::*callback, Args&&... args)
    {
        const std::lock_guard lock(mutex);
        if (this->*callback)
            (this->*callback)(std::forward<Args>(args)...);
    }

    void fail(const std::string& why)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        call(&Worker::onFailure, session, why);
    }

    void doOpen(const Job& job)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        session = job.session;
        folder = job.folder;
        limit = job.limit;
        own = 0;
        toldAlone = false;
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(folder, ec))) {
            fail("the sessions folder " + folder.string() + " is a symbolic link, which the console does not follow");
            return;
        }
        fs::create_directories(folder, ec);
        if (ec) {
            fail("cannot make the folder " + folder.string() + ": " + ec.message());
            return;
        }
        path.clear();
        keepFolderUnder(0);
        for (std::int64_t ms = job.openedMs; fd < 0; ++ms) {
            path = folder / sessionFileName(ms, job.port);
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0 && errno != EEXIST) {
                fail("cannot write in the folder " + folder.string() + ": " + std::strerror(errno));
                return;
            }
        }
        // Held while it is written: another console's bound leaves it alone.
        ::flock(fd, LOCK_EX | LOCK_NB);
        call(&Worker::onOpened, session, path.string());
    }

    void doWrite(const Job& job)
    {
        if (fd < 0 || job.session != session)
            return;
        if (others + own + job.data.size() > limit || sinceCheck >= kCheckEvery)
            keepFolderUnder(job.data.size());
        for (std::size_t done = 0; done < job.data.size();) {
            const ssize_t n = ::write(fd, job.data.data() + done, job.data.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fail("cannot write " + path.string() + ": " + std::strerror(n < 0 ? errno : ENOSPC));
                return;
            }
            done += static_cast<std::size_t>(n);
        }
        own += job.data.size();
        sinceCheck += job.data.size();
        struct stat st{};
        if (::fstat(fd, &st) == 0 && st.st_nlink == 0)
            fail(path.string() + " was removed while it was written");
    }

    void doClose(const Job& job)
    {
        if (fd < 0 || job.session != session)
            return;
        if (::fsync(fd) != 0) {
            fail("cannot sync " + path.string() + ": " + std::strerror(errno));
            return;
        }
        ::close(fd);
        fd = -1;
    }

    // The console's own session files leave, oldest by their names first,
    // until the folder with `coming` bytes more of the file being written is
    // within its limit. Anything else in the folder is neither counted nor
    // removed: other programs' files, links, folders.
    void keepFolderUnder(std::uint64_t coming)
    {
        struct Entry {
            std::string time;
            std::uint64_t size;
            fs::path path;
        };
        std::vector<Entry> files;
        others = 0;
        sinceCheck = 0;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            std::error_code each;
            auto time = sessionFileTime(e.path().filename().string());
            if (!time || e.symlink_status(each).type() != fs::file_type::regular || e.path() == path)
                continue;
            const std::uint64_t size = e.file_size(each);
            if (each)
                continue;
            others += size;
            files.push_back({std::move(*time), size, e.path()});
        }
        std::sort(files.begin(), files.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
        for (const Entry& f : files) {
            if (others + own + coming <= limit)
                break;
            if (removeUnlessLocked(f.path))
                others -= f.size;
        }
        if (own + coming > limit && !std::exchange(toldAlone, true))
            call(&Worker::onNotice, session,
                 "The file of this session alone passes the sessions folder's limit of " + std::to_string(limit >> 20) +
                     " MiB; it is kept whole.");
    }
};

SessionWriter::SessionWriter(Failure onFailure, Opened onOpened, Notice onNotice) : worker_(std::make_shared<Worker>())
{
    worker_->onFailure = std::move(onFailure);
    worker_->onOpened = std::move(onOpened);
    worker_->onNotice = std::move(onNotice);
    std::thread([w = worker_] { w->run(); }).detach();
}

SessionWriter::~SessionWriter()
{
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->stopping = true;
    }
    worker_->wake.notify_one();
    waitIdle(kExitPatience);
    // A disk stalled longer keeps the thread; it finishes on its own, telling no one.
    const std::lock_guard lock(worker_->mutex);
    worker_->onFailure = nullptr;
    worker_->onOpened = nullptr;
    worker_->onNotice = nullptr;
}

void SessionWriter::open(std::uint64_t session, fs::path folder, std::int64_t openedMs, int port, std::uint64_t folderLimit)
{
    worker_->push({Worker::Job::Open, session, {}, std::move(folder), openedMs, port, folderLimit});
}

void SessionWriter::write(std::uint64_t session, std::string data) { worker_->push({Worker::Job::Write, session, std::move(data), {}}); }

void SessionWriter::close(std::uint64_t session) { worker_->push({Worker::Job::Close, session, {}, {}}); }

std::string SessionWriter::spare()
{
    const std::lock_guard lock(worker_->mutex);
    return std::exchange(worker_->spare, std::string());
}

std::size_t SessionWriter::queuedBytes() const { return worker_->queued; }

bool SessionWriter::waitIdle(std::chrono::milliseconds patience)
{
    std::unique_lock lock(worker_->mutex);
    return worker_->idle.wait_for(lock, patience, [this] { return worker_->jobs.empty() && !worker_->busy; });
}

} // namespace cmbvhp
