#include "control_registry.h"

#include <stdexcept>

#if defined(PRESSMARK_HAVE_SLIDEPORT)
#include "pressmark/app/slideport.h"
#include "pressmark/platform/creation.h"
#include "pressmark/platform/registry.h"
#endif

namespace pressmark::gui {

#if defined(PRESSMARK_HAVE_SLIDEPORT)
namespace {

// The main window's hidden control: created at start-up so that a control
// that is not registered stops the program before any window shows. Runs
// create their own control on the worker thread (apartment rule); this one is
// never called.
class TSlideportProbe final : public TControlProbe {
public:
    TSlideportProbe() : Slideport(std::make_unique<TSlideport>()) {}

private:
    std::unique_ptr<TSlideport> Slideport;
};

}  // namespace

TApartment::TApartment() { platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED); }
TApartment::~TApartment() { platform::CoUninitialize(); }

bool PresentationApplicationRegistered() {
    platform::CLSID clsid{};
    return platform::SUCCEEDED(platform::CLSIDFromProgID("PowerPoint.Application", &clsid));
}

std::unique_ptr<TControlProbe> CreateSlideportProbe() { return std::make_unique<TSlideportProbe>(); }

TSlideExporterFactory SlideportFactory() { return [] { return MakeSlideport(); }; }

void EndIdlePresentationApplication() {
    // The control loads the application module through its own copy of the
    // automation layer and never offers it for unloading, so the module would
    // keep its office running until process exit and end it while the
    // process is being torn down. Asking the module itself whether it can
    // unload ends an office that nothing uses any more, while all is alive.
    platform::CLSID clsid{};
    if (!platform::SUCCEEDED(platform::CLSIDFromProgID("PowerPoint.Application", &clsid))) return;
    std::string module;
    if (platform::RegKey::classesRoot().querySubKeyValue(
            "CLSID\\" + platform::formatGuid(clsid) + "\\InprocServer32", &module) != platform::ERROR_SUCCESS)
        return;
    using CanUnload = platform::HRESULT (*)();
    if (auto entry = reinterpret_cast<CanUnload>(platform::findModuleSymbol(module, "DllCanUnloadNow", nullptr)))
        entry();
}

#else
// Without the automation layer the program has no control to host.
TApartment::TApartment() = default;
TApartment::~TApartment() = default;
bool PresentationApplicationRegistered() { return false; }
std::unique_ptr<TControlProbe> CreateSlideportProbe() {
    throw std::runtime_error("This build of Pressmark has no slide-show control.");
}
void EndIdlePresentationApplication() {}
TSlideExporterFactory SlideportFactory() {
    return []() -> std::unique_ptr<ISlideExporter> {
        throw std::runtime_error("This build of Pressmark has no slide-show control.");
    };
}
#endif

}  // namespace pressmark::gui
