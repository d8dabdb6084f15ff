// slidepress-cli: converts presentations into PDF or PostScript documents, or
// writes BMP images as the pages of one document (the "images" mode).
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stop_token>
#include <thread>

#include "batch.h"
#include "cli_options.h"
#include "console_progress.h"
#include "pressmark/app/conversion.h"
#include "pressmark/app/page_document.h"
#include "pressmark/app/slide_files.h"
#ifdef PRESSMARK_HAVE_SLIDEPORT
#include "pressmark/app/slideport.h"
#endif

namespace pressmark::cli {
namespace {

// Turns the first Ctrl-C (SIGINT) or SIGTERM into a stop request, so the run
// ends at the next page or deck boundary with no half-written document; a
// second one ends the program at once. The handler only writes to a pipe (one
// of the few things a signal handler may do); a thread turns that into the
// request.
class TInterruptWatcher {
public:
    TInterruptWatcher() {
        if (::pipe(fds_) != 0) return;
        writeFd_ = fds_[1];
        struct sigaction action {};
        action.sa_handler = [](int) {
            const char byte = 's';
            [[maybe_unused]] auto ignored = ::write(writeFd_, &byte, 1);
        };
        action.sa_flags = SA_RESETHAND;  // the second signal takes the default action
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        watcher_ = std::jthread([this] { Watch(); });
    }
    ~TInterruptWatcher() {
        if (!watcher_.joinable()) return;
        const char byte = 'q';
        [[maybe_unused]] auto ignored = ::write(fds_[1], &byte, 1);
        watcher_.join();
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    TInterruptWatcher(const TInterruptWatcher&) = delete;
    TInterruptWatcher& operator=(const TInterruptWatcher&) = delete;

    std::stop_token token() const { return stop_.get_token(); }

private:
    void Watch() {
        for (;;) {
            char byte = 0;
            const auto n = ::read(fds_[0], &byte, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || byte == 'q') return;
            std::fprintf(stderr, "\nslidepress-cli: stopping after the current page (interrupt again to quit now)\n");
            stop_.request_stop();
        }
    }

    static inline int writeFd_ = -1;
    int fds_[2] = {-1, -1};
    std::stop_source stop_;
    std::jthread watcher_;
};

[[maybe_unused]] TConsoleProgress::Style ConsoleStyle(TProgressStyle style) {
    switch (style) {
        case TProgressStyle::Bar: return TConsoleProgress::Style::Bar;
        case TProgressStyle::Lines: return TConsoleProgress::Style::Lines;
        case TProgressStyle::Quiet: return TConsoleProgress::Style::Quiet;
        case TProgressStyle::Auto: break;
    }
    return ::isatty(STDERR_FILENO) ? TConsoleProgress::Style::Bar : TConsoleProgress::Style::Lines;
}

[[maybe_unused]] void PrintSummary(const std::vector<TJob>& jobs, const TRunSummary& summary, const std::string& destination) {
    std::printf("%zu of %zu presentation(s) converted into %s\n", summary.Completed, jobs.size(),
                destination.empty() ? "." : destination.c_str());
    for (const auto& job : jobs) {
        if (job.State == TJobState::Failed)
            std::printf("  failed:  %s: %s\n", job.Path.c_str(), job.Reason.c_str());
        else if (job.State == TJobState::Aborted)
            std::printf("  aborted: %s\n", job.Path.c_str());
        else if (job.State == TJobState::Pending && summary.Stopped)
            std::printf("  not converted (run stopped): %s\n", job.Path.c_str());
    }
}

// All the presentations of the batch: the arguments, then the list file.
std::vector<std::string> AllDecks(const TCliRequest& request) {
    std::vector<std::string> decks = ExpandPresentationArguments(request.Inputs);
    if (!request.ListFile.empty()) {
        const auto listed = ExpandPresentationArguments(ReadListFile(request.ListFile));
        decks.insert(decks.end(), listed.begin(), listed.end());
    }
    return decks;
}

// The dry run's answer, one deck a line: presentation, tab, document.
void PrintPlan(const std::vector<TJob>& jobs, const TCliRequest& request) {
    std::string prefix = request.Output.empty() ? "./" : request.Output;
    if (prefix.back() != '/') prefix += '/';
    for (const auto& job : jobs)
        std::printf("%s\t%s%s%s\n", job.Path.c_str(), prefix.c_str(), job.Name.c_str(),
                    std::string(DocumentExtension(request.Format)).c_str());
}

int RunDecks(const TCliRequest& request, std::stop_token stop) {
    std::vector<TJob> jobs = PlanJobs(AllDecks(request), request.Shard);
    if (request.DryRun) {
        PrintPlan(jobs, request);
        return 0;
    }
#ifdef PRESSMARK_HAVE_SLIDEPORT
    TConversionOptions options;
    options.Format = request.Format;
    options.PaperIndex = request.PaperIndex;
    options.CompressionIndex = request.CompressionIndex;
    options.Destination = request.Output;
    TConsoleProgress progress(stderr, ConsoleStyle(request.Progress));
    const unsigned workers = request.Jobs != 0 ? request.Jobs : AutomaticWorkerCount(jobs.size());
    const TRunSummary summary = RunJobs(
        jobs, options, [] { return CheckingFiles(MakeSlideport()); }, progress, workers, stop);
    PrintSummary(jobs, summary, request.Output);
    return summary.AllCompleted(jobs.size()) ? 0 : 1;
#else
    (void)stop;
    std::fprintf(stderr, "slidepress-cli: built without the slide-show control; only the images mode works\n");
    return 1;
#endif
}

int RunImages(const TCliRequest& request, std::stop_token stop) {
    const auto pages = ExpandImageArguments({request.Inputs.begin(), request.Inputs.end()});
    const bool bar = request.Progress != TProgressStyle::Quiet && ::isatty(STDERR_FILENO);
    const auto pageWritten = [&](std::size_t done, std::size_t all) {
        if (bar) std::fprintf(stderr, "\r\033[K%s %zu/%zu pages", ProgressBar(done, all, 30).c_str(), done, all);
    };
    const TDocumentSettings settings{request.Format, request.PaperIndex, request.CompressionIndex};
    const auto outcome = WriteImageDocument(pages, request.Output, settings, pageWritten, stop);
    if (bar) std::fprintf(stderr, "\n");
    if (outcome == TDocumentOutcome::Aborted) {
        std::fprintf(stderr, "slidepress-cli: stopped; %s was not written\n", request.Output.c_str());
        return 1;
    }
    if (request.Progress != TProgressStyle::Quiet)
        std::printf("%s: %zu page(s)\n", request.Output.c_str(), pages.size());
    return 0;
}

}  // namespace
}  // namespace pressmark::cli

int main(int argc, char** argv) {
    using namespace pressmark::cli;
    // A command line never opens windows: without a display the office runs
    // headless and the control's slide show stays invisible. Done first,
    // while this is the only thread.
    ::unsetenv("DISPLAY");
    const TCliRequest request = ParseCommandLine({argv + 1, argv + argc});
    if (request.Mode == TCliMode::Exit) {
        std::fputs(request.Message.c_str(), request.ExitCode == 0 ? stdout : stderr);
        return request.ExitCode;
    }
    try {
        TInterruptWatcher interrupts;
        return request.Mode == TCliMode::Images ? RunImages(request, interrupts.token())
                                                : RunDecks(request, interrupts.token());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "slidepress-cli: %s\n", e.what());
        return 1;
    }
}
