#include "cli_options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include <CLI/CLI.hpp>

#include "pressmark/app/slide_files.h"
#include "pressmark/imaging/errors.h"

namespace pressmark::cli {
namespace fs = std::filesystem;
namespace {

constexpr const char* Version = "slidepress-cli 2.1";

std::string JoinNames(auto const& names) {
    std::string text;
    for (const auto& name : names) {
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// A CLI11 validator from one of the name lookups: it rejects unknown names
// with the list of known ones.
template <typename Find>
CLI::Validator NameCheck(Find find, std::string known) {
    return CLI::Validator(
        [find, known](std::string& value) -> std::string {
            return find(value) ? std::string{} : "unknown name '" + value + "' (choose " + known + ")";
        },
        "NAME");
}

struct TRawOptions {
    std::vector<std::string> inputs;
    std::string format, paper = "A4", compression = "rle", output;
    bool noProgress = false, forceBar = false, quiet = false;
    std::string list, shard = "0/1";
    std::string jobs = "auto";
    bool dryRun = false;
};

void AddDocumentOptions(CLI::App& app, TRawOptions& raw, const std::string& formatHelp) {
    const std::string papers = JoinNames(PaperNames);
    const std::string compressions = JoinNames(CompressionNames);
    app.add_option("-f,--format", raw.format, formatHelp)->check(NameCheck(FindOutputFormat, "pdf, ps"));
    app.add_option("-p,--paper", raw.paper,
                   "Paper each page is fitted to, at its top-left corner: " + papers +
                       " (tabloid = 11x17; default A4)")
        ->check(NameCheck(FindPaperIndex, papers));
    app.add_option("-c,--compression", raw.compression,
                   "Image compression: rle (run-length), g3, g4 (CCITT fax; they compress black-and-white "
                   "pages only, colour pages fall back to the format's plain coding), jpeg (default rle)")
        ->check(NameCheck(FindCompressionIndex, compressions));
}

TCliRequest Finish(const TRawOptions& raw, TCliMode mode) {
    TCliRequest request;
    request.Mode = mode;
    request.Inputs = raw.inputs;
    request.PaperIndex = *FindPaperIndex(raw.paper);
    request.CompressionIndex = *FindCompressionIndex(raw.compression);
    request.Output = raw.output;
    if (!raw.format.empty()) {
        request.Format = *FindOutputFormat(raw.format);
    } else if (mode == TCliMode::Images) {
        const std::string ext = Lower(fs::path(raw.output).extension().string());
        request.Format = (ext == ".ps" || ext == ".eps") ? TOutputFormat::PostScript : TOutputFormat::PDF;
    }
    request.ListFile = raw.list;
    request.Shard = *ParseShard(raw.shard);
    request.Jobs = raw.jobs == "auto" ? 0 : *ParseJobCount(raw.jobs);
    request.DryRun = raw.dryRun;
    if (raw.quiet) request.Progress = TProgressStyle::Quiet;
    else if (raw.noProgress) request.Progress = TProgressStyle::Lines;
    else if (raw.forceBar) request.Progress = TProgressStyle::Bar;
    return request;
}

TCliRequest ExitWith(int code, std::string message) {
    TCliRequest request;
    request.Mode = TCliMode::Exit;
    request.ExitCode = code;
    request.Message = std::move(message);
    return request;
}

}  // namespace

bool IsPresentationFile(const std::string& path) {
    static constexpr std::array<std::string_view, 5> kinds{".ppt", ".pps", ".pptx", ".ppsx", ".odp"};
    const std::string ext = Lower(fs::path(path).extension().string());
    return std::find(kinds.begin(), kinds.end(), ext) != kinds.end();
}

std::vector<std::string> ExpandPresentationArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> decks;
    for (const auto& argument : arguments) {
        std::error_code error;
        if (fs::is_directory(argument, error)) {
            std::vector<std::string> found;
            for (const auto& entry : fs::directory_iterator(argument, error)) {
                if (entry.is_regular_file(error) && IsPresentationFile(entry.path().string()))
                    found.push_back(entry.path().string());
            }
            std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
                return SlideOrderLess(fs::path(a).filename().string(), fs::path(b).filename().string());
            });
            if (found.empty()) throw ReadError(argument, "the folder holds no presentation");
            decks.insert(decks.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(argument, error)) {
            decks.push_back(argument);
        } else if (IsPresentationFile(argument)) {
            decks.push_back(argument);
        } else {
            throw ReadError(argument, "no such file or folder");
        }
    }
    return decks;
}

TCliRequest ParseCommandLine(const std::vector<std::string>& arguments) {
    CLI::App app{"Converts presentations (.ppt, .pps, .pptx, .ppsx, .odp) into PDF or PostScript documents, "
                 "one document per presentation with one page per slide.",
                 "slidepress-cli"};
    app.set_version_flag("--version", Version);
    app.footer("Each presentation P becomes OUTPUT/<name>.pdf (or .ps), <name> being P's file name up to its "
               "first dot; its slide images are kept in OUTPUT/<name>/. Two presentations with the same name "
               "give \"<name>\" and \"<name> (2)\", in the order of the full list (arguments, then --list), "
               "also when the run is split with --shard or --jobs.\n"
               "Exit status: 0 when every presentation was converted, 1 when any failed or the run was "
               "interrupted, 2 for a usage error.");
    TRawOptions convert, images;
    app.add_option("presentations", convert.inputs,
                   "Presentations to convert (.ppt, .pps, .pptx, .ppsx, .odp); a folder stands for the "
                   "presentations in it");
    AddDocumentOptions(app, convert, "Output format: pdf or ps (PostScript); default pdf");
    app.add_option("-o,--output", convert.output, "Destination folder, created when missing (default: .)");
    app.add_flag("--progress-bar", convert.forceBar, "Draw progress bars even when not on a terminal");
    app.add_flag("--no-progress-bar", convert.noProgress, "Print plain progress lines even on a terminal");
    app.add_flag("-q,--quiet", convert.quiet, "Print only the summary and the errors");
    app.add_option("-l,--list", convert.list,
                   "File naming more presentations (or folders), one per line; blank lines and lines "
                   "starting with # are skipped. They follow those given as arguments")
        ->check(CLI::ExistingFile);
    app.add_option("--shard", convert.shard,
                   "Convert only part I of N of all the presentations (0 <= I < N): those at positions "
                   "I, I+N, I+2N, ... of the full list counted from 0. Documents get the names a single run "
                   "of the full list would give them (default 0/1: all)")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                return ParseShard(value) ? std::string{} : "'" + value + "' is not I/N with 0 <= I < N";
            },
            "I/N"));
    app.add_option("-j,--jobs", convert.jobs,
                   "Presentations converted at a time, each by its own office process (a few hundred MB "
                   "each): 1 to 64, or auto for one per processor this process may use, as far as the "
                   "available memory allows (512 MiB each) and never more than there are presentations "
                   "(default auto)")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                return value == "auto" || ParseJobCount(value) ? std::string{}
                                                              : "'" + value + "' is not auto or 1 to 64";
            },
            ""))
        ->type_name("N|auto");
    app.add_flag("-n,--dry-run", convert.dryRun,
                 "Print each presentation of this run with the document it would become (tab between), "
                 "convert nothing");

    CLI::App* imageMode = app.add_subcommand(
        "images", "Writes BMP images, in the order given (a folder stands for its .bmp files in slide order), "
                  "as the pages of one PDF or PostScript document");
    imageMode->add_option("images", images.inputs, "BMP files and folders of BMP files")->required();
    imageMode->add_option("-o,--output", images.output, "The document to write (.pdf or .ps)")->required();
    AddDocumentOptions(*imageMode, images, "Output format: pdf or ps; default from the --output extension, else pdf");
    imageMode->add_flag("-q,--quiet", images.quiet, "Print only errors");
    // Not the presentations' footer, which a subcommand would otherwise inherit.
    imageMode->footer("Exit status: 0 when the document was written, 1 when it was not (a bad image, a failed "
                      "write, or an interruption; no partial document is left), 2 for a usage error.");

    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return ExitWith(0, app.help());
    } catch (const CLI::CallForAllHelp&) {
        return ExitWith(0, app.help("", CLI::AppFormatMode::All));
    } catch (const CLI::CallForVersion&) {
        return ExitWith(0, std::string(Version) + "\n");
    } catch (const CLI::ParseError& e) {
        return ExitWith(2, std::string("slidepress-cli: ") + e.what() + "\nRun with --help for more information.\n");
    }
    if (imageMode->parsed()) return Finish(images, TCliMode::Images);
    if (convert.inputs.empty() && convert.list.empty())
        return ExitWith(2, "slidepress-cli: no presentation given\nRun with --help for more information.\n");
    for (const auto& input : convert.inputs) {
        std::error_code error;
        if (!fs::is_directory(input, error) && !IsPresentationFile(input))
            return ExitWith(2, "slidepress-cli: \"" + input +
                                   "\" is not a presentation (.ppt, .pps, .pptx, .ppsx, .odp)\n");
    }
    return Finish(convert, TCliMode::Convert);
}

}  // namespace pressmark::cli
