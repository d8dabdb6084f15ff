#pragma once
// The automation objects of the presentation application: Application,
// Presentations, Presentation, SlideShowSettings, SlideShowWindow,
// SlideShowView and Slides. Each answers exactly the members the control
// calls; the work is done by the office core (slide_deck.h, slide_show.h).
// Failures become DISP_E_EXCEPTION whose description names the file and
// the reason.
#include "impress_types.h"
#include "office_pool.h"
#include "slide_deck.h"
#include "slide_show.h"

#include <memory>
#include <vector>

namespace pressmark::office {

// The module's one warm-office pool: it outlives applications so that the
// next one can take the office over (see office_pool.h).
OfficePool& officePool();

// What an application and every object it handed out share: the office
// session and the shows to end when the application quits.
struct ApplicationState {
    std::shared_ptr<OfficeSession> session;
    std::vector<std::weak_ptr<SlideShow>> shows;

    // Ends the shows' windows, closes every document and gives the office
    // back to the pool. Later calls on any object of this application fail.
    void quit();
};

class ImpressApplication final : public pf::DispatchObject<pf::IDispatch> {
public:
    // Starts (or takes over a warm) office; throws when it cannot.
    ImpressApplication();
    ~ImpressApplication() override;

private:
    std::shared_ptr<ApplicationState> state_;
};

}  // namespace pressmark::office
