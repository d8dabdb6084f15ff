// A whole conversion as a program does it, then a plain return from main:
// creates the presentation application by ProgID, exports a deck at
// 800 x 600, quits, prints the office's process id and profile folder, and
// leaves the warm office to the process exit (DllCanUnloadNow is never
// called, as in the control). The test of a clean exit runs this program.
//
// Usage: office_exit_helper <deck> <output folder> [keep-app]
// With keep-app the application is still referenced (not quit) at exit.
#include "impress_types.h"

#include <pressmark/platform/creation.h>
#include <pressmark/platform/dispatch_client.h>
#include <pressmark/platform/errors.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

using namespace pressmark::platform;
using namespace pressmark::office;

namespace {

// The soffice.bin child of this process and the profile folder on its
// command line (-env:UserInstallation=file://...).
void printOffice() {
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    while (dirent* e = ::readdir(proc.get())) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos || text.find("(soffice.bin)") == std::string::npos) continue;
        if (std::atoi(text.c_str() + close + 4) != ::getpid()) continue;
        std::ifstream cmdline("/proc/" + std::string(e->d_name) + "/cmdline");
        std::string profile;
        for (std::string arg; std::getline(cmdline, arg, '\0');)
            if (arg.rfind("-env:UserInstallation=file://", 0) == 0) profile = arg.substr(29);
        std::printf("%d %s\n", pid, profile.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    static ComPtr<IDispatch> kept;  // keep-app: released by the exit, like a static of a host
    try {
        auto app = createInstance("PowerPoint.Application").query<IDispatch>();
        auto presentations = toDispatch(getProperty(app.get(), kDispPresentations));
        auto presentation = toDispatch(invokeMethod(
            presentations.get(), kDispOpen,
            {Variant(argv[1]), Variant(LONG{0}), Variant(LONG{0}), Variant(LONG{0})}));
        invokeMethod(presentation.get(), kDispExport,
                     {Variant(std::string(argv[2]) + "/"), Variant("BMP"), Variant(LONG{800}), Variant(LONG{600})});
        printOffice();
        if (argc > 3 && std::string(argv[3]) == "keep-app") {
            kept = app;
        } else {
            invokeMethod(presentation.get(), kDispClose);
            invokeMethod(app.get(), kDispQuit);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "office_exit_helper: %s\n", e.what());
        return 1;
    }
    return 0;
}
