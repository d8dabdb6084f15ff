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

// soffice.bin processes whose parent is this process.
inline std::vector<pid_t> childOffices() {
    std::vector<pid_t> pids;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    while (dirent* e = ::readdir(proc.get())) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos || text.find("(soffice.bin)") == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state;
        pid_t parent;
        rest >> state >> parent;
        if (parent == ::getpid() && state != 'Z') pids.push_back(pid);
    }
    return pids;
}

inline bool processGone(pid_t pid) {
    return ::kill(pid, 0) != 0 ||
           run("ps -o stat= -p " + std::to_string(pid)).find('Z') != std::string::npos;
}

// True once every thread of the process has stopped. A stop signal only
// wakes one thread, which then stops the others: until it has run, the rest
// may go on answering calls.
inline bool processStopped(pid_t pid) {
    std::error_code ec;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos || close + 2 >= text.size() || text[close + 2] != 'T') return false;
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
