#include "control_registry.h"

#include <stdexcept>

#if defined(PRESSMARK_HAVE_SLIDEPORT)
#include "pressmark/app/slideport.h"
#include "pressmark/platform/creation.h"
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

#else
// Without the automation layer the program has no control to host.
TApartment::TApartment() = default;
TApartment::~TApartment() = default;
bool PresentationApplicationRegistered() { return false; }
std::unique_ptr<TControlProbe> CreateSlideportProbe() {
    throw std::runtime_error("This build of Pressmark has no slide-show control.");
}
TSlideExporterFactory SlideportFactory() {
    return []() -> std::unique_ptr<ISlideExporter> {
        throw std::runtime_error("This build of Pressmark has no slide-show control.");
    };
}
#endif

}  // namespace pressmark::gui
