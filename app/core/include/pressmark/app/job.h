#pragma once
// One row of the job list: a presentation to convert and what became of it.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pressmark {

enum class TJobState : std::uint8_t { Pending, Completed, Failed, Aborted };

struct TJob {
    std::string Name;  // file name without its folder, cut before its first dot
    std::string Path;  // full path of the presentation
    TJobState State = TJobState::Pending;
    std::string Reason;        // why the deck failed or was aborted; empty otherwise
    std::string Document;      // the document written (or that would have been)
    std::string SlideFolder;   // where the deck's slide images are kept
    std::size_t PageCount = 0; // pages written into Document
};

// The job list's status column: "-", "Completed", "Failed", "Aborted".
std::string_view StatusText(TJobState state) noexcept;

// The job name of a presentation path: "/talks/Q3.review.ppt" gives "Q3". A file
// whose name starts with a dot falls back to its name without the last extension,
// so that no job is ever nameless (an empty name would write "<dest>.pdf").
std::string JobNameFromPath(std::string_view path);

// A job row for every path, in order, with the status "-".
std::vector<TJob> MakeJobs(const std::vector<std::string>& paths);

// The names a run writes its documents and slide folders under, in job
// order: the job name, except that a name already taken by an earlier job
// becomes "name (2)", "name (3)", ... Computed over the whole list so that a
// batch split into parts (parallel workers, shards on other machines) writes
// every deck under the name a single run would give it.
std::vector<std::string> UniqueOutputNames(const std::vector<TJob>& jobs);

// One step of that rule: the first of name, "name (2)", ... not in
// `claimed`, which it then joins.
std::string ClaimOutputName(const std::string& name, std::set<std::string>& claimed);

}  // namespace pressmark
