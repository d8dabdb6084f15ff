#include "batch.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <atomic>
#include <charconv>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include "pressmark/imaging/errors.h"

namespace pressmark::cli {
namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<std::size_t> ParseCount(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Hands the driver a worker's exporter for one deck without giving it away:
// the worker keeps its control (and the office behind it) from deck to deck.
class TBorrowedExporter final : public ISlideExporter {
public:
    explicit TBorrowedExporter(ISlideExporter& exporter) : exporter_(exporter) {}
    bool InitControl() override { return exporter_.InitControl(); }
    bool LoadFile(const std::string& file) override { return exporter_.LoadFile(file); }
    bool Export(const std::string& file, const std::string& dir, const std::string& type, std::int16_t width,
                std::int16_t height) override {
        return exporter_.Export(file, dir, type, width, height);
    }
    void Quit() override { exporter_.Quit(); }

private:
    ISlideExporter& exporter_;
};

class TFileCheckingExporter final : public ISlideExporter {
public:
    explicit TFileCheckingExporter(std::unique_ptr<ISlideExporter> exporter) : exporter_(std::move(exporter)) {}
    bool InitControl() override { return exporter_->InitControl(); }
    bool LoadFile(const std::string& file) override {
        // The office's own message for a file it cannot open says little
        // about why; these two causes are common in batches and plain to name.
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error))
            throw ReadError(file, "no such presentation file");
        if (::access(file.c_str(), R_OK) != 0) throw ReadError(file, "the presentation file cannot be read");
        return exporter_->LoadFile(file);
    }
    bool Export(const std::string& file, const std::string& dir, const std::string& type, std::int16_t width,
                std::int16_t height) override {
        return exporter_->Export(file, dir, type, width, height);
    }
    void Quit() override { exporter_->Quit(); }

private:
    std::unique_ptr<ISlideExporter> exporter_;
};

// Progress of several workers onto one sink: one callback at a time, the
// deck's position in the whole run instead of in the worker's one-deck run,
// and each progress line prefixed by the deck's name since lines of
// different decks interleave.
class TSharedProgress {
public:
    TSharedProgress(IProgressSink& target, std::size_t count) : target_(target), count_(count) {}

    class TDeck final : public IProgressSink {
    public:
        TDeck(TSharedProgress& shared, std::size_t index) : shared_(shared), index_(index) {}
        void line(const std::string& text) override {
            std::lock_guard lock(shared_.mutex_);
            shared_.target_.line(name_ + ": " + text);
        }
        void deckStarted(std::size_t, std::size_t, const TJob& job) override {
            name_ = job.Name;
            std::lock_guard lock(shared_.mutex_);
            shared_.target_.deckStarted(index_, shared_.count_, job);
        }
        void slideWritten(std::size_t, std::size_t slide, std::size_t slides) override {
            std::lock_guard lock(shared_.mutex_);
            shared_.target_.slideWritten(index_, slide, slides);
        }
        void deckFinished(std::size_t, const TJob& job) override {
            std::lock_guard lock(shared_.mutex_);
            shared_.target_.deckFinished(index_, job);
        }

    private:
        TSharedProgress& shared_;
        std::size_t index_;
        std::string name_;
    };

private:
    IProgressSink& target_;
    std::size_t count_;
    std::mutex mutex_;
};

void Count(TRunSummary& summary, const TJob& job) {
    switch (job.State) {
        case TJobState::Completed: ++summary.Completed; break;
        case TJobState::Failed: ++summary.Failed; break;
        case TJobState::Aborted: ++summary.Aborted; break;
        case TJobState::Pending: break;
    }
}

}  // namespace

std::optional<TShard> ParseShard(std::string_view text) {
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto index = ParseCount(text.substr(0, slash));
    const auto count = ParseCount(text.substr(slash + 1));
    if (!index || !count || *count == 0 || *index >= *count) return std::nullopt;
    return TShard{*index, *count};
}

std::optional<unsigned> ParseJobCount(std::string_view text) {
    const auto count = ParseCount(text);
    if (!count || *count < 1 || *count > 64) return std::nullopt;
    return static_cast<unsigned>(*count);
}

namespace {

// MemAvailable of /proc/meminfo in bytes, if the system says.
std::optional<std::uint64_t> AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    return std::nullopt;
}

}  // namespace

unsigned WorkerCountFor(std::size_t processors, std::optional<std::uint64_t> availableMemory, std::size_t decks) {
    // An office takes about 200 MB while it renders: leave each of them
    // 512 MiB of the memory that is free now, so that many cores with
    // little memory do not start more offices than the machine can hold.
    constexpr std::uint64_t MemoryPerOffice = 512ull << 20;
    std::size_t workers = std::min(processors, decks);
    if (availableMemory) workers = std::min<std::uint64_t>(workers, *availableMemory / MemoryPerOffice);
    return static_cast<unsigned>(std::clamp<std::size_t>(workers, 1, 64));
}

unsigned AutomaticWorkerCount(std::size_t decks) {
    std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) processors = std::max(CPU_COUNT(&allowed), 1);
    return WorkerCountFor(processors, AvailableMemory(), decks);
}

std::vector<std::size_t> ShardMembers(std::size_t count, TShard shard) {
    std::vector<std::size_t> members;
    for (std::size_t i = shard.Index; i < count; i += shard.Count) members.push_back(i);
    return members;
}

std::vector<std::string> ReadListFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw ReadError(path, "cannot open the list of presentations");
    std::vector<std::string> decks;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view entry = Trimmed(line);
        if (entry.empty() || entry.front() == '#') continue;
        decks.emplace_back(entry);
    }
    if (in.bad()) throw ReadError(path, "cannot read the list of presentations");
    return decks;
}

std::vector<TJob> PlanJobs(const std::vector<std::string>& decks, TShard shard) {
    std::vector<TJob> all = MakeJobs(decks);
    const std::vector<std::string> names = UniqueOutputNames(all);
    std::vector<TJob> part;
    for (const std::size_t i : ShardMembers(all.size(), shard)) {
        all[i].Name = names[i];
        part.push_back(std::move(all[i]));
    }
    return part;
}

TRunSummary RunJobs(std::vector<TJob>& jobs, const TConversionOptions& options,
                    const TSlideExporterFactory& makeExporter, IProgressSink& progress, unsigned workers,
                    std::stop_token stop) {
    workers = static_cast<unsigned>(std::min<std::size_t>(std::max(workers, 1u), jobs.size()));
    if (workers <= 1) return RunConversion(jobs, options, makeExporter, progress, std::move(stop));

    // One stop for the workers: the caller's, or a worker whose exporter
    // could not be made (the others finish their deck and stop too).
    std::stop_source halt;
    std::stop_callback forward(stop, [&halt] { halt.request_stop(); });
    std::atomic<std::size_t> next{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    TSharedProgress shared(progress, jobs.size());

    const auto work = [&] {
        try {
            const std::unique_ptr<ISlideExporter> exporter = makeExporter();
            if (!exporter) throw std::logic_error("the slide exporter factory made no exporter");
            for (std::size_t i = next++; i < jobs.size() && !halt.stop_requested(); i = next++) {
                TSharedProgress::TDeck deckProgress(shared, i);
                RunConversion(std::span<TJob>(&jobs[i], 1), options,
                              [&] { return std::make_unique<TBorrowedExporter>(*exporter); }, deckProgress,
                              halt.get_token());
            }
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::current_exception();
            halt.request_stop();
        }
    };
    {
        std::vector<std::jthread> threads;
        for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work);
    }
    if (failure) std::rethrow_exception(failure);

    TRunSummary summary;
    for (const auto& job : jobs) Count(summary, job);
    summary.Stopped = halt.stop_requested();
    return summary;
}

std::unique_ptr<ISlideExporter> CheckingFiles(std::unique_ptr<ISlideExporter> exporter) {
    return std::make_unique<TFileCheckingExporter>(std::move(exporter));
}

}  // namespace pressmark::cli
