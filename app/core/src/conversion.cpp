#include "pressmark/app/conversion.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <stdlib.h>  // mkdtemp

#include "pressmark/app/page_document.h"
#include "pressmark/app/slide_files.h"
#include "pressmark/imaging/errors.h"

namespace pressmark {
namespace fs = std::filesystem;
namespace {

// The destination with exactly one trailing separator, so that "out" and
// "out/" name the same files. An empty destination is the current folder.
std::string DestinationPrefix(const std::string& destination) {
    if (destination.empty()) return "./";
    return destination.back() == '/' ? destination : destination + "/";
}

// A fresh, empty folder for one export, removed with everything in it when
// the deck is done. It sits inside the destination so that the exported
// images can be renamed into the slide folder without copying.
class TExportFolder {
public:
    TExportFolder(const std::string& prefix, const std::string& name) {
        std::string pattern = prefix + "." + name + ".export-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw WriteError(pattern, std::string("cannot create a folder for the slide images: ") + std::strerror(errno));
        path_ = pattern;
    }
    ~TExportFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TExportFolder(const TExportFolder&) = delete;
    TExportFolder& operator=(const TExportFolder&) = delete;
    const fs::path& path() const noexcept { return path_; }

private:
    fs::path path_;
};

// Ends the presentation application once per deck, also when a call before
// Quit throws: no office may outlive its deck. Only the explicit Quit reports
// a failure; the one on an error path must not hide the first error.
class TQuitGuard {
public:
    explicit TQuitGuard(ISlideExporter& exporter) : exporter_(exporter) {}
    ~TQuitGuard() {
        if (pending_) {
            try {
                exporter_.Quit();
            } catch (...) {
            }
        }
    }
    TQuitGuard(const TQuitGuard&) = delete;
    TQuitGuard& operator=(const TQuitGuard&) = delete;
    void Quit() {
        pending_ = false;
        exporter_.Quit();
    }

private:
    ISlideExporter& exporter_;
    bool pending_ = true;
};

// Moves the freshly exported images into the slide folder, where they stay
// after the run, and answers their new paths in the same order. Images of an
// earlier run with the same names are replaced; others are left alone and
// never become pages.
std::vector<fs::path> KeepSlideImages(const std::vector<fs::path>& exported, const fs::path& slideFolder) {
    std::vector<fs::path> kept;
    kept.reserve(exported.size());
    for (const auto& image : exported) {
        const fs::path target = slideFolder / image.filename();
        std::error_code error;
        fs::rename(image, target, error);
        if (error == std::errc::cross_device_link) {
            error.clear();
            fs::copy_file(image, target, fs::copy_options::overwrite_existing, error);
        }
        if (error) throw WriteError(target.string(), "cannot keep the slide image: " + error.message());
        kept.push_back(target);
    }
    return kept;
}

class TRun {
public:
    TRun(std::span<TJob> jobs, const TConversionOptions& options, IProgressSink& progress, std::stop_token stop)
        : jobs_(jobs), options_(options), progress_(progress), stop_(std::move(stop)),
          prefix_(DestinationPrefix(options.Destination)) {}

    TRunSummary Run(ISlideExporter& exporter) {
        TRunSummary summary;
        for (std::size_t i = 0; i < jobs_.size(); ++i) {
            if (stop_.stop_requested()) {
                summary.Stopped = true;
                break;
            }
            TJob& job = jobs_[i];
            ConvertDeck(exporter, i, job);
            progress_.deckFinished(i, job);
            switch (job.State) {
                case TJobState::Completed: ++summary.Completed; break;
                case TJobState::Failed: ++summary.Failed; break;
                case TJobState::Aborted: ++summary.Aborted; summary.Stopped = true; return summary;
                case TJobState::Pending: break;
            }
        }
        return summary;
    }

private:
    std::string Now() const { return options_.TimeText ? options_.TimeText() : LocalTimeText(); }

    // Two decks of one run never share a document or a slide folder: the
    // second "deck" becomes "deck (2)", and so on.
    std::string ClaimOutputName(const std::string& name) { return pressmark::ClaimOutputName(name, claimed_); }

    void ConvertDeck(ISlideExporter& exporter, std::size_t index, TJob& job) {
        const std::string name = ClaimOutputName(job.Name);
        job.Document = prefix_ + name + std::string(DocumentExtension(options_.Format));
        job.SlideFolder = prefix_ + name + "/";
        job.Reason.clear();
        job.PageCount = 0;
        progress_.deckStarted(index, jobs_.size(), job);
        try {
            ExportAndWrite(exporter, index, name, job);
        } catch (const std::exception& e) {
            job.State = TJobState::Failed;
            job.Reason = e.what();
        }
        if (job.State == TJobState::Failed) {
            // A slide folder that received nothing is of no use; one with
            // images (ours or older ones) stays. remove() takes empty folders only.
            std::error_code ignored;
            fs::remove(job.SlideFolder, ignored);
            progress_.line(Now() + ":Failed " + name + ": " + job.Reason);
        }
        if (job.State == TJobState::Aborted) progress_.line(Now() + ":Aborted " + name);
    }

    void ExportAndWrite(ISlideExporter& exporter, std::size_t index, const std::string& name, TJob& job) {
        std::error_code error;
        fs::create_directories(job.SlideFolder, error);
        if (error) throw WriteError(job.SlideFolder, "cannot create the slide folder: " + error.message());
        TExportFolder exportFolder(prefix_, name);

        TQuitGuard application(exporter);
        const bool started = exporter.InitControl();
        progress_.line(Now() + ":Exporting " + name);
        exporter.LoadFile(job.Path);  // refuses names it does not know; Export does not care
        const bool exported = exporter.Export(job.Path, exportFolder.path().string() + "/", SlideImageType,
                                              SlideImageWidth, SlideImageHeight);
        progress_.line(Now() + ":Exporting Completed");
        application.Quit();

        const auto images = KeepSlideImages(ListSlideImages(exportFolder.path()), job.SlideFolder);
        if (images.empty()) {
            job.State = TJobState::Failed;
            job.Reason = !started    ? "the presentation application could not be started"
                         : !exported ? "the slide control did not export the presentation"
                                     : "the export produced no slide image";
            return;
        }
        const TDocumentSettings settings{options_.Format, options_.PaperIndex, options_.CompressionIndex};
        const auto outcome = WriteImageDocument(
            images, job.Document, settings,
            [&](std::size_t done, std::size_t all) { progress_.slideWritten(index, done, all); }, stop_);
        if (outcome == TDocumentOutcome::Aborted) {
            job.State = TJobState::Aborted;
            job.Reason = "stopped before the document was complete";
            return;
        }
        job.State = TJobState::Completed;
        job.PageCount = images.size();
    }

    std::span<TJob> jobs_;
    const TConversionOptions& options_;
    IProgressSink& progress_;
    std::stop_token stop_;
    std::string prefix_;
    std::set<std::string> claimed_;
};

void CheckOptions(const TConversionOptions& options) {
    if (options.PaperIndex < 0 || options.PaperIndex >= static_cast<int>(PaperSizes.size()))
        throw std::out_of_range("paper index " + std::to_string(options.PaperIndex) + " is not 0 to 11");
    (void)CompressionCode(options.Format, options.CompressionIndex);  // throws when out of range
}

}  // namespace

std::string LocalTimeText() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

TRunSummary RunConversion(std::span<TJob> jobs, const TConversionOptions& options,
                          const TSlideExporterFactory& makeExporter, IProgressSink& progress, std::stop_token stop) {
    CheckOptions(options);
    if (jobs.empty()) return {};
    const std::unique_ptr<ISlideExporter> exporter = makeExporter();
    if (!exporter) throw std::logic_error("the slide exporter factory made no exporter");
    return TRun(jobs, options, progress, std::move(stop)).Run(*exporter);
}

}  // namespace pressmark
