#include "office_pool.h"

namespace pressmark::office {

OfficePool::OfficePool() {
    reaper_ = std::jthread([this](std::stop_token stop) { reaperLoop(stop); });
}

OfficePool::~OfficePool() {
    // Runs at exit (or when the module is really unloaded), possibly after
    // the UNO runtime's own teardown.
    reaper_.request_stop();
    reaper_.join();
    if (warm_) warm_->killAtExit();
}

std::unique_ptr<OfficeProcess> OfficePool::acquire() {
    std::unique_ptr<OfficeProcess> candidate;
    {
        std::lock_guard lock(mutex_);
        candidate = std::move(warm_);
    }
    if (candidate && candidate->alive()) {
        try {
            // A document of an earlier presentation must never be seen by
            // the next one.
            if (candidate->documentCount() == 0) return candidate;
        } catch (const std::exception&) {
        }
    }
    candidate.reset();
    return OfficeProcess::start(OfficeSettings::fromEnvironment());
}

void OfficePool::release(std::unique_ptr<OfficeProcess> process) {
    if (!process) return;
    if (!process->alive() || !process->closeAllDocuments()) return;  // ended on leaving
    const auto grace = OfficeSettings::fromEnvironment().graceTime;
    std::unique_ptr<OfficeProcess> previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::move(warm_);
        warm_ = std::move(process);
        expiry_ = std::chrono::steady_clock::now() + grace;
    }
    changed_.notify_all();
}

std::optional<pid_t> OfficePool::warmPid() {
    std::lock_guard lock(mutex_);
    if (!warm_) return std::nullopt;
    return warm_->pid();
}

void OfficePool::drain() {
    std::unique_ptr<OfficeProcess> ending;
    {
        std::lock_guard lock(mutex_);
        ending = std::move(warm_);
    }
}

void OfficePool::reaperLoop(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (!warm_) {
            changed_.wait(lock, stop, [&] { return warm_ != nullptr; });
            continue;
        }
        const auto expiry = expiry_;
        if (changed_.wait_until(lock, stop, expiry, [&] { return !warm_ || expiry_ != expiry; }))
            continue;
        if (stop.stop_requested()) break;
        // Ending an office takes a moment (kill, reap, remove the profile):
        // do it without holding the lock.
        auto ending = std::move(warm_);
        lock.unlock();
        ending.reset();
        lock.lock();
    }
}

}  // namespace pressmark::office
