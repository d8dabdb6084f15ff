// pmregsvr: registers or unregisters an in-process server module, like
// Windows' regsvr32.
//
//   pmregsvr [/s] [/machine] <module>      calls the module's DllRegisterServer
//   pmregsvr [/s] [/machine] /u <module>   calls its DllUnregisterServer
//
// /machine registers for every user of the machine: the module's calls
// then read and write the machine's class registry alone (registry.h), as
// an administrator's regsvr32 writes HKEY_LOCAL_MACHINE. Without it they go
// to the user's own registry.
//
// Exit codes follow regsvr32: 0 success, 1 bad arguments, 3 the module
// cannot be loaded, 4 the entry point is missing, 5 the call failed.
// "-u"/"-s"/"-machine"/"--machine" are accepted as well as "/u"/"/s"/"/machine".
#include <dlfcn.h>

#include <stdlib.h>
#include <strings.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "pressmark/platform/object.h"
#include "pressmark/platform/registry.h"
#include "pressmark/platform/types.h"

namespace {

using namespace pressmark::platform;

struct DlCloser {
    void operator()(void* handle) const { dlclose(handle); }
};

int usage() {
    std::fprintf(stderr, "usage: pmregsvr [/s] [/u] [/machine] <module>\n");
    return 1;
}

bool isOption(std::string_view arg, char letter) {
    return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') && (arg[1] == letter || arg[1] == letter - 'a' + 'A');
}

bool isMachineOption(std::string_view arg) {
    for (std::string_view prefix : {"/", "-", "--"}) {
        if (arg.size() == prefix.size() + 7 && arg.substr(0, prefix.size()) == prefix &&
            ::strncasecmp(arg.data() + prefix.size(), "machine", 7) == 0)
            return true;
    }
    return false;
}

// The server module links its own copy of the registry code, so the scope
// has to reach it through the environment: the machine's file becomes "the
// user's file" of this process, with nothing merged beneath it.
bool useMachineRegistry() {
    const std::string machine = machineClassesRegistryPath().string();
    return ::setenv("PRESSMARK_CLASSES_REG", machine.c_str(), 1) == 0 &&
           ::unsetenv("PRESSMARK_MACHINE_CLASSES_REG") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    bool machine = false;
    std::string module;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (isOption(arg, 'u')) {
            unregister = true;
        } else if (isOption(arg, 's')) {
            silent = true;
        } else if (isMachineOption(arg)) {
            machine = true;
        } else if (module.empty() && !arg.empty()) {
            module = arg;  // Linux paths start with '/': only the exact options above are options
        } else {
            return usage();
        }
    }
    if (module.empty()) return usage();
    if (machine && !useMachineRegistry()) {
        std::perror("pmregsvr: cannot select the machine's registry");
        return 1;
    }

    // A bare file name would make dlopen search the library path instead of
    // the current folder, unlike LoadLibrary; anchor it.
    if (module.find('/') == std::string::npos) module = "./" + module;

    std::unique_ptr<void, DlCloser> handle(dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle) {
        std::fprintf(stderr, "pmregsvr: the module \"%s\" failed to load: %s\n", module.c_str(), dlerror());
        return 3;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto function = reinterpret_cast<DllRegisterServerFunction>(dlsym(handle.get(), entry));
    if (!function) {
        std::fprintf(stderr, "pmregsvr: the module \"%s\" was loaded, but the entry point %s was not found.\n",
                     module.c_str(), entry);
        return 4;
    }
    const HRESULT hr = function();
    if (FAILED(hr)) {
        std::fprintf(stderr, "pmregsvr: %s in \"%s\" failed. Return code was: %s (%s)\n", entry, module.c_str(),
                     formatHresult(hr).c_str(), hresultMessage(hr).c_str());
        return 5;
    }
    if (!silent)
        std::printf("%s in \"%s\" succeeded (registry %s).\n", entry, module.c_str(),
                    classesRegistryPath().c_str());
    return 0;
}
