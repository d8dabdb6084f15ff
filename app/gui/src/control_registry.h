#pragma once
// The program's view of the class registry: whether the presentation
// application is installed, and the slide-show control itself.
#include <memory>

#include "form_services.h"
#include "pressmark/app/slide_exporter.h"

namespace pressmark::gui {

// The user-interface thread as a single-threaded apartment, for the program's
// lifetime.
class TApartment {
public:
    TApartment();
    ~TApartment();
    TApartment(const TApartment&) = delete;
    TApartment& operator=(const TApartment&) = delete;
};

// True when the ProgID "PowerPoint.Application" is registered.
bool PresentationApplicationRegistered();
// Creates the control once, proving it is registered; throws with the
// system's message (class not registered, ...) when it cannot be created.
std::unique_ptr<TControlProbe> CreateSlideportProbe();
// Ends the presentation application's idle office once a run is over (the
// run's control is gone); does nothing when none is running.
void EndIdlePresentationApplication();
// Creates a control on the calling thread for a run.
TSlideExporterFactory SlideportFactory();

}  // namespace pressmark::gui
