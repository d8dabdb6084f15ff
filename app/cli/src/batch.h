#pragma once
// Batches on the command line: a list file of presentations, the part of the
// list one machine converts (a shard), and several decks converted at a time,
// each worker with its own slide control and so its own office process.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "pressmark/app/conversion.h"

namespace pressmark::cli {

// Part `Index` of `Count` (0 <= Index < Count): the decks whose position in the
// full list, counted from 0, leaves the remainder Index when divided by Count.
// 0-based like a Kubernetes completion index and a Slurm array started at 0.
struct TShard {
    std::size_t Index = 0;
    std::size_t Count = 1;
};

// "i/n" with 0 <= i < n; nothing for any other text.
std::optional<TShard> ParseShard(std::string_view text);

// The positions of the decks of `shard` in a list of `count`, ascending.
// Round-robin, so that shards get as many decks as each other (give or take
// one) and the big decks of a sorted folder do not all land in one part.
std::vector<std::size_t> ShardMembers(std::size_t count, TShard shard);

// A worker count as --jobs takes it: 1 to 64; nothing for any other text.
std::optional<unsigned> ParseJobCount(std::string_view text);

// Workers for --jobs auto: one per processor this process may run on (its
// CPU affinity, which container and batch schedulers narrow), no more than
// one per 512 MiB of available memory, never more than there are decks, at
// least one.
unsigned AutomaticWorkerCount(std::size_t decks);
// The rule itself, from the processors, the available memory in bytes (when
// known) and the decks. Separate for tests.
unsigned WorkerCountFor(std::size_t processors, std::optional<std::uint64_t> availableMemory, std::size_t decks);

// The presentations named in a list file, one path per line, in order. Blank
// lines and lines starting with '#' (after leading blanks) are skipped;
// leading and trailing blanks and a Windows line end are dropped. Relative
// paths are taken as they stand (from the current folder). A file that cannot
// be read throws ReadError naming it.
std::vector<std::string> ReadListFile(const std::string& path);

// The jobs of one run: every deck of the full list, named as a single run of
// the whole list would name it ("deck", "deck (2)", ...), then only those of
// the shard kept, in list order.
std::vector<TJob> PlanJobs(const std::vector<std::string>& decks, TShard shard);

// Converts the jobs with `workers` decks at a time. Each worker is a thread
// with its own exporter made by `makeExporter` on that thread (the control is
// apartment-threaded) and takes the next unconverted deck of the list when it
// is free. Names must already be unique (PlanJobs). Progress callbacks are
// serialised and carry the deck's position in `jobs`. A stop request lets
// the decks in progress end as a single run would and starts no more.
TRunSummary RunJobs(std::vector<TJob>& jobs, const TConversionOptions& options,
                    const TSlideExporterFactory& makeExporter, IProgressSink& progress, unsigned workers,
                    std::stop_token stop = {});

// Wraps an exporter so that a presentation file that is missing or not
// readable fails its deck with a message naming the file, before the office
// is asked to open it.
std::unique_ptr<ISlideExporter> CheckingFiles(std::unique_ptr<ISlideExporter> exporter);

}  // namespace pressmark::cli
