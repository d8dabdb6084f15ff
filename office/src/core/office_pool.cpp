#include "office_pool.h"

#include <algorithm>

namespace pressmark::office {

OfficePool::OfficePool() {
    reaper_ = std::jthread([this](std::stop_token stop) { reaperLoop(stop); });
}

OfficePool::~OfficePool() {
    // Runs at exit (or when the module is really unloaded), possibly after
    // the UNO runtime's own teardown.
    reaper_.request_stop();
    reaper_.join();
    for (auto& warm : warm_) warm.office->killAtExit();
}

std::unique_ptr<OfficeProcess> OfficePool::acquire() {
    for (;;) {
        std::unique_ptr<OfficeProcess> candidate;
        {
            std::lock_guard lock(mutex_);
            if (warm_.empty()) break;
            candidate = std::move(warm_.back().office);
            warm_.pop_back();
        }
        if (!candidate->alive()) continue;
        try {
            // A document of an earlier presentation must never be seen by
            // the next one.
            if (candidate->documentCount() == 0) return candidate;
        } catch (const std::exception&) {
        }
    }
    return OfficeProcess::start(OfficeSettings::fromEnvironment());
}

void OfficePool::release(std::unique_ptr<OfficeProcess> process) {
    if (!process) return;
    if (!process->alive() || !process->closeAllDocuments()) return;  // ended on leaving
    const auto grace = OfficeSettings::fromEnvironment().graceTime;
    {
        std::lock_guard lock(mutex_);
        warm_.push_back({std::move(process), std::chrono::steady_clock::now() + grace});
    }
    changed_.notify_all();
}

std::vector<pid_t> OfficePool::warmPids() {
    std::lock_guard lock(mutex_);
    std::vector<pid_t> pids;
    for (const auto& warm : warm_) pids.push_back(warm.office->pid());
    return pids;
}

void OfficePool::drain() {
    std::vector<Warm> ending;
    {
        std::lock_guard lock(mutex_);
        ending.swap(warm_);
    }
}

void OfficePool::reaperLoop(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (warm_.empty()) {
            changed_.wait(lock, stop, [&] { return !warm_.empty(); });
            continue;
        }
        const auto first = std::min_element(warm_.begin(), warm_.end(), [](const Warm& a, const Warm& b) {
            return a.expiry < b.expiry;
        });
        const auto expiry = first->expiry;
        const auto count = warm_.size();
        // Woken early when an office is taken or released: look again.
        if (changed_.wait_until(lock, stop, expiry, [&] { return warm_.size() != count; })) continue;
        if (stop.stop_requested()) break;
        const auto now = std::chrono::steady_clock::now();
        std::vector<Warm> ending;
        for (auto it = warm_.begin(); it != warm_.end();) {
            if (it->expiry <= now) {
                ending.push_back(std::move(*it));
                it = warm_.erase(it);
            } else {
                ++it;
            }
        }
        // Ending an office takes a moment (kill, reap, remove the profile):
        // do it without holding the lock.
        lock.unlock();
        ending.clear();
        lock.lock();
    }
}

}  // namespace pressmark::office
