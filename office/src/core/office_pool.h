#pragma once
// Keeps one office warm for a short while after an application quits, so
// that a batch of presentations (an application per presentation) pays for
// one office start instead of one each. The office is handed on only with
// no document open; after the grace time it is ended.
#include "office_process.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace pressmark::office {

class OfficePool {
public:
    OfficePool();
    ~OfficePool();  // ends the warm office
    OfficePool(const OfficePool&) = delete;
    OfficePool& operator=(const OfficePool&) = delete;

    // The warm office when there is a sound one, otherwise a new one.
    // Settings are read from the environment on each call.
    std::unique_ptr<OfficeProcess> acquire();
    // Takes an office back: it is cleared of documents and kept warm for its
    // grace time, or ended when it cannot be cleared.
    void release(std::unique_ptr<OfficeProcess> process);
    // Process id of the warm office, if any (for tests and diagnostics).
    std::optional<pid_t> warmPid();
    // Ends the warm office now.
    void drain();

private:
    void reaperLoop(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::unique_ptr<OfficeProcess> warm_;
    std::chrono::steady_clock::time_point expiry_;
    std::jthread reaper_;
};

}  // namespace pressmark::office
