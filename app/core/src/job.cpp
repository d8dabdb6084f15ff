#include "pressmark/app/job.h"

#include <filesystem>

namespace pressmark {

std::string_view StatusText(TJobState state) noexcept {
    switch (state) {
        case TJobState::Completed: return "Completed";
        case TJobState::Failed: return "Failed";
        case TJobState::Aborted: return "Aborted";
        case TJobState::Pending: break;
    }
    return "-";
}

std::string JobNameFromPath(std::string_view path) {
    const std::string fileName = std::filesystem::path(path).filename().string();
    std::string name = fileName.substr(0, fileName.find('.'));
    if (name.empty()) name = std::filesystem::path(fileName).stem().string();
    if (name.empty() || name == "." || name == "..") name = "presentation";
    return name;
}

std::vector<TJob> MakeJobs(const std::vector<std::string>& paths) {
    std::vector<TJob> jobs;
    jobs.reserve(paths.size());
    for (const auto& path : paths) {
        TJob job;
        job.Name = JobNameFromPath(path);
        job.Path = path;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace pressmark
