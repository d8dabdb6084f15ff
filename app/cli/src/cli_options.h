#pragma once
// The command line of slidepress-cli: what a person or a script asks for,
// parsed with CLI11 into a plain request that main() carries out.
#include <string>
#include <vector>

#include "batch.h"
#include "pressmark/app/tables.h"

namespace pressmark::cli {

enum class TCliMode { Convert, Images, Exit };
enum class TProgressStyle { Auto, Bar, Lines, Quiet };

struct TCliRequest {
    TCliMode Mode = TCliMode::Convert;
    std::vector<std::string> Inputs;  // presentations (convert) or BMP files and folders (images)
    TOutputFormat Format = TOutputFormat::PDF;
    int PaperIndex = static_cast<int>(DefaultPaperIndex);
    int CompressionIndex = DefaultCompressionIndex;
    std::string Output;  // destination folder (convert) or document file (images)
    TProgressStyle Progress = TProgressStyle::Auto;
    std::string ListFile;  // more presentations, one per line (convert)
    TShard Shard;          // the part of all the presentations this run converts
    unsigned Jobs = 0;     // decks converted at a time, each by its own office; 0: automatic
    bool DryRun = false;   // print what would be converted and where, convert nothing
    int ExitCode = 0;    // for TCliMode::Exit
    std::string Message; // text to print for TCliMode::Exit (help, version or usage error)
};

// Parses argv-style arguments without the program name. Never throws for bad
// input and never prints: --help, --version and usage errors come back as
// Mode Exit with the text to show and the exit code (0 for help and version,
// 2 for a usage error).
TCliRequest ParseCommandLine(const std::vector<std::string>& arguments);

// The presentation kinds the command line accepts, lower case with the dot.
bool IsPresentationFile(const std::string& path);

// Folders among the inputs stand for the presentations (convert) they hold,
// in slide order; files stand for themselves. A missing file with a
// presentation's extension is kept: it becomes a deck that fails on its own
// while the others are converted. Throws pressmark::ReadError for any other
// input that does not exist.
std::vector<std::string> ExpandPresentationArguments(const std::vector<std::string>& arguments);

}  // namespace pressmark::cli
