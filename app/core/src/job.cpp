#include "pressmark/app/job.h"

#include <filesystem>
#include <set>

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

std::string ClaimOutputName(const std::string& name, std::set<std::string>& claimed) {
    std::string candidate = name;
    for (int n = 2; claimed.count(candidate) != 0; ++n) candidate = name + " (" + std::to_string(n) + ")";
    claimed.insert(candidate);
    return candidate;
}

std::vector<std::string> UniqueOutputNames(const std::vector<TJob>& jobs) {
    std::set<std::string> claimed;
    std::vector<std::string> names;
    names.reserve(jobs.size());
    for (const auto& job : jobs) names.push_back(ClaimOutputName(job.Name, claimed));
    return names;
}

}  // namespace pressmark
