#pragma once

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace cto::test {

// Stands by a FIFO while the code under test meets it. An opening that waits
// for a writer would hold the test until CTest's own limit: once `patience`
// has passed, the watch opens the writing end for whoever is still blocked
// opening it to read, which lets the opening return, and the test, asking
// unblocked(), fails within its own time. Opening it without blocking finds
// a writer only while a reader holds the FIFO open, so a reader that opened
// and let go of it in time is never mistaken for a blocked one.
class FifoWatch {
public:
    FifoWatch(QByteArray path, std::chrono::milliseconds patience)
        : path_(std::move(path)), watcher_([this, patience] { watch(patience); }) {}
    ~FifoWatch() { stop(); }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    // Ends the watch; true when a reader was found blocked and let through.
    bool unblocked() {
        stop();
        return unblocked_;
    }

private:
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (watcher_.joinable())
            watcher_.join();
    }

    void watch(std::chrono::milliseconds patience) {
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, patience, [this] { return stopping_; }))
            return;
        while (!stopping_) {
            const int writer = ::open(path_.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                ::close(writer);
                unblocked_ = true;
                return;
            }
            changed_.wait_for(lock, std::chrono::milliseconds(50), [this] { return stopping_; });
        }
    }

    QByteArray path_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool unblocked_ = false;
    std::thread watcher_; // last: starts once the rest is in place
};

} // namespace cto::test
