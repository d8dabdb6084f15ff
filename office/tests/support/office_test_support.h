#pragma once
// Helpers shared by the office tests: corpus paths and the manifest, running
// independent tools (ImageMagick), temporary folders, and the offices that
// are children of this process.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace office_test {

inline std::string corpus(const std::string& name) { return std::string(PRESSMARK_CORPUS_DIR) + "/" + name; }

// Slide counts by file name from the corpus manifest ("fail" = -1).
inline std::map<std::string, int> manifestSlideCounts() {
    std::map<std::string, int> counts;
    std::ifstream in(corpus("MANIFEST.tsv"));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (cells.size() > 5) counts[cells[0]] = cells[5] == "fail" ? -1 : std::stoi(cells[5]);
    }
    return counts;
}

// Standard output of a shell command.
inline std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return out;
    std::array<char, 4096> buffer;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0;) out.append(buffer.data(), n);
    return out;
}

inline std::string quoted(const std::string& s) { return "'" + s + "'"; }

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pressmark-office-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// What the tests read of a process's (or thread's) /proc stat file: its
// command name, state letter and parent; nothing once it is gone.
struct ProcStat {
    std::string name;
    char state = '?';
    pid_t parent = 0;
};

inline std::optional<ProcStat> readProcStat(const std::filesystem::path& statFile) {
    std::ifstream in(statFile);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The name may itself hold parentheses and blanks: it runs to the last ')'.
    const auto open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
    ProcStat stat;
    stat.name = text.substr(open + 1, close - open - 1);
    std::istringstream rest(text.substr(close + 1));
    if (!(rest >> stat.state >> stat.parent)) return std::nullopt;
    return stat;
}

// soffice.bin processes whose parent is this process.
inline std::vector<pid_t> childOffices() {
    std::vector<pid_t> pids;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    while (dirent* e = ::readdir(proc.get())) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        const auto stat = readProcStat("/proc/" + std::string(e->d_name) + "/stat");
        if (stat && stat->name == "soffice.bin" && stat->parent == ::getpid() && stat->state != 'Z')
            pids.push_back(pid);
    }
    return pids;
}

inline bool processGone(pid_t pid) {
    if (::kill(pid, 0) != 0) return true;
    const auto stat = readProcStat("/proc/" + std::to_string(pid) + "/stat");
    return !stat || stat->state == 'Z';
}

// True once every thread of the process has stopped. A stop signal only
// wakes one thread, which then stops the others: until it has run, the rest
// may go on answering calls.
inline bool processStopped(pid_t pid) {
    std::error_code ec;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        const auto stat = readProcStat(task.path() / "stat");
        if (!stat || stat->state != 'T') return false;
        any = true;
    }
    return any;
}

// Waits up to `seconds` for a condition, checking every 100 ms.
template <class F>
bool eventually(F&& condition, double seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (condition()) return true;
        ::usleep(100000);
    }
    return condition();
}

}  // namespace office_test
