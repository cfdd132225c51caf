#include "SessionWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace cmbvhp {

namespace fs = std::filesystem;

struct SessionWriter::Worker {
    struct Job {
        enum Kind { Open, Write, Close } kind;
        std::uint64_t session;
        std::string data; // the bytes; for Open, the file's name
        fs::path folder;
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

    // The thread's own: the file being written.
    std::uint64_t session = 0;
    int fd = -1;
    fs::path folder;
    fs::path path;
    std::uint64_t limit = 0;
    std::uint64_t sinceCheck = 0;

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
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            fail("cannot make the folder " + folder.string() + ": " + ec.message());
            return;
        }
        keepFolderUnder();
        const fs::path name(job.data);
        for (int n = 1; fd < 0; ++n) {
            path = folder / (n == 1 ? name : fs::path(name.stem().string() + "-" + std::to_string(n) + name.extension().string()));
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
            if (fd < 0 && errno != EEXIST) {
                fail("cannot write in the folder " + folder.string() + ": " + std::strerror(errno));
                return;
            }
        }
        sinceCheck = 0;
        call(&Worker::onOpened, session, path.string());
    }

    void doWrite(const Job& job)
    {
        if (fd < 0 || job.session != session)
            return;
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
        struct stat st{};
        if (::fstat(fd, &st) == 0 && st.st_nlink == 0) {
            fail(path.string() + " was removed while it was written");
            return;
        }
        if ((sinceCheck += job.data.size()) >= kCheckEvery) {
            sinceCheck = 0;
            keepFolderUnder();
        }
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

    // The oldest session files leave until the folder is under its limit; the
    // file being written stays, whatever its size.
    void keepFolderUnder()
    {
        struct Entry {
            fs::file_time_type time;
            std::uint64_t size;
            fs::path path;
        };
        std::vector<Entry> files;
        std::uint64_t total = 0;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            std::error_code each;
            if (!e.is_regular_file(each) || e.path().extension() != ".log")
                continue;
            const std::uint64_t size = e.file_size(each);
            total += size;
            if (!(fd >= 0 && e.path() == path))
                files.push_back({e.last_write_time(each), size, e.path()});
        }
        std::sort(files.begin(), files.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
        for (const Entry& f : files) {
            if (total <= limit)
                break;
            std::error_code each;
            if (fs::remove(f.path, each))
                total -= f.size;
        }
    }
};

SessionWriter::SessionWriter(Failure onFailure, Opened onOpened) : worker_(std::make_shared<Worker>())
{
    worker_->onFailure = std::move(onFailure);
    worker_->onOpened = std::move(onOpened);
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
}

void SessionWriter::open(std::uint64_t session, fs::path folder, std::string name, std::uint64_t folderLimit)
{
    worker_->push({Worker::Job::Open, session, std::move(name), std::move(folder), folderLimit});
}

void SessionWriter::write(std::uint64_t session, std::string data)
{
    worker_->push({Worker::Job::Write, session, std::move(data), {}, 0});
}

void SessionWriter::close(std::uint64_t session) { worker_->push({Worker::Job::Close, session, {}, {}, 0}); }

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
