#pragma once
// Keeps offices warm for a short while after their applications quit, so
// that a batch of presentations (an application per presentation) pays for
// one office start instead of one each; a batch that runs several
// applications at a time keeps one warm office for each. An office is handed
// on only with no document open; after its grace time it is ended.
#include "office_process.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pressmark::office {

class OfficePool {
public:
    OfficePool();
    ~OfficePool();  // ends the warm offices
    OfficePool(const OfficePool&) = delete;
    OfficePool& operator=(const OfficePool&) = delete;

    // The most recently released sound office, otherwise a new one.
    // Settings are read from the environment on each call.
    std::unique_ptr<OfficeProcess> acquire();
    // Takes an office back: it is cleared of documents and kept warm for its
    // grace time, or ended when it cannot be cleared.
    void release(std::unique_ptr<OfficeProcess> process);
    // Process ids of the warm offices, most recently released last (for
    // tests and diagnostics).
    std::vector<pid_t> warmPids();
    // Ends the warm offices now.
    void drain();

private:
    struct Warm {
        std::unique_ptr<OfficeProcess> office;
        std::chrono::steady_clock::time_point expiry;
    };
    void reaperLoop(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::vector<Warm> warm_;  // in the order released
    std::jthread reaper_;
};

}  // namespace pressmark::office
