#include "automation.h"

#include <string>

namespace pressmark::office {

using namespace pf;

namespace {

// A new object handed out as a VT_DISPATCH result.
template <class T, class... Args>
Variant dispatchResult(Args&&... args) {
    ComPtr<T> object = makeObject<T>(std::forward<Args>(args)...);
    return Variant(static_cast<IDispatch*>(object.get()));
}

DispatchTable tableFor(const IID& iid) { return DispatchTable(impressTypeInfo(iid), kImpressSource); }

class ImpressSlides final : public DispatchObject<IDispatch> {
public:
    explicit ImpressSlides(std::shared_ptr<SlideDeck> deck)
        : DispatchObject(tableFor(DIID_Slides)), deck_(std::move(deck)) {
        dispatchTable().on(kDispSlidesCount, [this](const DispArgs&, Variant& r) {
            r = Variant(static_cast<LONG>(deck_->slideCount()));
            return S_OK;
        });
    }

private:
    std::shared_ptr<SlideDeck> deck_;
};

class ImpressSlideShowView final : public DispatchObject<IDispatch> {
public:
    explicit ImpressSlideShowView(std::shared_ptr<SlideShow> show)
        : DispatchObject(tableFor(DIID_SlideShowView)), show_(std::move(show)) {
        dispatchTable()
            .on(kDispNext, [this](const DispArgs&, Variant&) {
                show_->next();
                return S_OK;
            })
            .on(kDispPrevious, [this](const DispArgs&, Variant&) {
                show_->previous();
                return S_OK;
            })
            .on(kDispCurrentShowPosition, [this](const DispArgs&, Variant& r) {
                r = Variant(static_cast<LONG>(show_->position()));
                return S_OK;
            });
    }

private:
    std::shared_ptr<SlideShow> show_;
};

class ImpressSlideShowWindow final : public DispatchObject<IDispatch> {
public:
    explicit ImpressSlideShowWindow(std::shared_ptr<SlideShow> show)
        : DispatchObject(tableFor(DIID_SlideShowWindow)), show_(std::move(show)) {
        dispatchTable().on(kDispView, [this](const DispArgs&, Variant& r) {
            show_->position();  // fails once the application has quit
            r = dispatchResult<ImpressSlideShowView>(show_);
            return S_OK;
        });
    }

private:
    std::shared_ptr<SlideShow> show_;
};

class ImpressSlideShowSettings final : public DispatchObject<IDispatch> {
public:
    ImpressSlideShowSettings(std::shared_ptr<ApplicationState> state, std::shared_ptr<SlideDeck> deck)
        : DispatchObject(tableFor(DIID_SlideShowSettings)), state_(std::move(state)), deck_(std::move(deck)) {
        dispatchTable()
            .on(kDispShowType, INVOKE_PROPERTYGET, [this](const DispArgs&, Variant& r) {
                r = Variant(static_cast<LONG>(showType_));
                return S_OK;
            })
            .on(kDispShowType, INVOKE_PROPERTYPUT, [this](const DispArgs& a, Variant&) {
                // Every show type runs the same way here: one window with the
                // current slide (the office has no speaker or kiosk views).
                showType_ = a.i4(0);
                return S_OK;
            })
            .on(kDispRun, [this](const DispArgs&, Variant& r) {
                auto show = std::make_shared<SlideShow>(deck_);
                state_->shows.push_back(show);
                r = dispatchResult<ImpressSlideShowWindow>(show);
                return S_OK;
            });
    }

private:
    std::shared_ptr<ApplicationState> state_;
    std::shared_ptr<SlideDeck> deck_;
    LONG showType_ = 1;  // speaker show, full screen
};

class ImpressPresentation final : public DispatchObject<IDispatch> {
public:
    ImpressPresentation(std::shared_ptr<ApplicationState> state, std::shared_ptr<SlideDeck> deck)
        : DispatchObject(tableFor(DIID_Presentation)), state_(std::move(state)), deck_(std::move(deck)) {
        dispatchTable()
            .on(kDispSlides, [this](const DispArgs&, Variant& r) {
                deck_->requireOffice("listing the slides");
                r = dispatchResult<ImpressSlides>(deck_);
                return S_OK;
            })
            .on(kDispSlideShowSettings, [this](const DispArgs&, Variant& r) {
                deck_->requireOffice("reading the slide-show settings");
                r = dispatchResult<ImpressSlideShowSettings>(state_, deck_);
                return S_OK;
            })
            .on(kDispExport, [this](const DispArgs& a, Variant&) {
                exportSlides(a);
                return S_OK;
            })
            .on(kDispClose, [this](const DispArgs&, Variant&) {
                deck_->close();
                return S_OK;
            });
    }

private:
    void exportSlides(const DispArgs& a) {
        int width = a.isMissing(2) ? 0 : a.i4(2);
        int height = a.isMissing(3) ? 0 : a.i4(3);
        if (width == 0 && height == 0) {
            // No size asked: the slide's own size at 72 pixels per inch.
            auto [w, h] = deck_->slideSize(0);
            width = static_cast<int>(w * 72 / 2540 + 0.5);
            height = static_cast<int>(h * 72 / 2540 + 0.5);
        }
        deck_->exportSlides(a.utf8(0), a.utf8(1), width, height);
    }

    std::shared_ptr<ApplicationState> state_;
    std::shared_ptr<SlideDeck> deck_;
};

class ImpressPresentations final : public DispatchObject<IDispatch> {
public:
    explicit ImpressPresentations(std::shared_ptr<ApplicationState> state)
        : DispatchObject(tableFor(DIID_Presentations)), state_(std::move(state)) {
        dispatchTable().on(kDispOpen, [this](const DispArgs& a, Variant& r) {
            // Always hidden (a show has its own window, SlideShowSettings.Run)
            // and read-only (nothing is saved here): ReadOnly, Untitled and
            // WithWindow change nothing.
            auto deck = std::make_shared<SlideDeck>(state_->session, a.utf8(0));
            r = dispatchResult<ImpressPresentation>(state_, std::move(deck));
            return S_OK;
        });
    }

private:
    std::shared_ptr<ApplicationState> state_;
};

}  // namespace

OfficePool& officePool() {
    static OfficePool pool;
    return pool;
}

void ApplicationState::quit() {
    for (auto& weak : shows)
        if (auto show = weak.lock()) show->closeWindow();
    shows.clear();
    if (session->active()) officePool().release(session->end());
}

ImpressApplication::ImpressApplication()
    : DispatchObject(tableFor(DIID_Application)),
      state_(std::make_shared<ApplicationState>(
          ApplicationState{std::make_shared<OfficeSession>(officePool().acquire()), {}})) {
    dispatchTable()
        .on(kDispPresentations, [this](const DispArgs&, Variant& r) {
            state_->session->require("", "listing the presentations");
            r = dispatchResult<ImpressPresentations>(state_);
            return S_OK;
        })
        .on(kDispQuit, [this](const DispArgs&, Variant&) {
            state_->quit();
            return S_OK;
        });
}

ImpressApplication::~ImpressApplication() {
    try {
        state_->quit();
    } catch (...) {
        // Nobody is waiting for a result here; the office is ended with the
        // pool at the latest.
    }
}

}  // namespace pressmark::office
