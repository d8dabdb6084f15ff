// The control's operations on the presentation application. Each one checks its preconditions
// first and answers false, 0 or nothing when they are not met, without calling the
// application; a failing call into the application ends the operation with an
// ApplicationFailure, which the dispatch layer hands to the host as an automation exception.
#include <array>
#include <string_view>

#include "application_calls.h"
#include "pressmark/platform/bstr.h"
#include "pressmark/platform/creation.h"
#include "slideport_ctrl.h"

namespace pressmark::control {

using namespace pressmark::platform;

namespace {

// The application's members the control calls (object model of the presentation application).
constexpr ApplicationMember kApplicationPresentations{"Application.Presentations", 2001,
                                                      DISPATCH_PROPERTYGET};
constexpr ApplicationMember kPresentationsOpen{"Presentations.Open", 2005, DISPATCH_METHOD};
constexpr ApplicationMember kPresentationSlideShowSettings{"Presentation.SlideShowSettings", 2015,
                                                           DISPATCH_PROPERTYGET};
constexpr ApplicationMember kSlideShowSettingsShowType{"SlideShowSettings.ShowType", 2010,
                                                       DISPATCH_PROPERTYPUT};
constexpr ApplicationMember kSlideShowSettingsRun{"SlideShowSettings.Run", 2008, DISPATCH_METHOD};
constexpr ApplicationMember kSlideShowWindowView{"SlideShowWindow.View", 2003,
                                                 DISPATCH_PROPERTYGET};
constexpr ApplicationMember kSlideShowViewNext{"SlideShowView.Next", 2019, DISPATCH_METHOD};
constexpr ApplicationMember kSlideShowViewPrevious{"SlideShowView.Previous", 2020,
                                                   DISPATCH_METHOD};
constexpr ApplicationMember kSlideShowViewCurrentShowPosition{
    "SlideShowView.CurrentShowPosition", 2027, DISPATCH_PROPERTYGET};
constexpr ApplicationMember kPresentationSlides{"Presentation.Slides", 2011,
                                                DISPATCH_PROPERTYGET};
constexpr ApplicationMember kSlidesCount{"Slides.Count", 11, DISPATCH_PROPERTYGET};
constexpr ApplicationMember kPresentationExport{"Presentation.Export", 2038, DISPATCH_METHOD};
constexpr ApplicationMember kPresentationClose{"Presentation.Close", 2039, DISPATCH_METHOD};
constexpr ApplicationMember kApplicationQuit{"Application.Quit", 2021, DISPATCH_METHOD};

constexpr LONG kSpeakerShowFullScreen = 1;
constexpr const char* kApplicationProgId = "Powerpoint.Application";
constexpr std::string_view kSlideShowWindowClass = "screenClass";

// Only the last three characters count, compared exactly: the application decides what it can
// open, the control only keeps obviously foreign files away from the slide show.
bool hasPresentationSuffix(std::string_view name) {
  const std::string_view tail = name.size() > 3 ? name.substr(name.size() - 3) : name;
  constexpr std::array<std::string_view, 4> accepted{"ppt", "pps", "PPT", "PPS"};
  for (std::string_view suffix : accepted) {
    if (tail == suffix) return true;
  }
  return false;
}

// Presentations.Open(name, ReadOnly 0, Untitled 0, WithWindow 0).
ComPtr<IDispatch> openPresentation(IDispatch* presentations, const std::string& name) {
  return getApplicationObject(presentations, kPresentationsOpen,
                              {Variant(name), Variant(LONG{0}), Variant(LONG{0}), Variant(LONG{0})});
}

// Finds the application's class, creates it (any kind of server; a platform that refuses the
// remote kind as an invalid argument gets one more try without it), makes sure it runs, and
// keeps its IDispatch. Any failure answers nothing.
ComPtr<IDispatch> startApplication() {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(kApplicationProgId, &clsid))) return {};
  ComPtr<IUnknown> unknown;
  constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
  HRESULT hr = CoCreateInstance(clsid, nullptr, kAnyServer, IID_IUnknown, unknown.putVoid());
  if (hr == E_INVALIDARG) {
    hr = CoCreateInstance(clsid, nullptr, kAnyServer & ~CLSCTX_REMOTE_SERVER, IID_IUnknown,
                          unknown.putVoid());
  }
  if (FAILED(hr) || !unknown) return {};
  if (FAILED(OleRun(unknown.get()))) return {};
  return unknown.query<IDispatch>();
}

// The wait cursor over the control's window while the application exports; restored on every
// way out.
class BusyCursor {
 public:
  BusyCursor(X11Session* session, NativeWindow window) : session_(session), window_(window) {
    if (session_ != nullptr) session_->showBusyCursor(window_);
  }
  ~BusyCursor() {
    if (session_ != nullptr) session_->restoreCursor(window_);
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  X11Session* session_;
  NativeWindow window_;
};

}  // namespace

bool CSlideportCtrl::InitControl() {
  if (application_) return true;
  try {
    application_ = startApplication();
  } catch (...) {
    // Starting the application never raises: failure is the result false.
    application_.reset();
  }
  return static_cast<bool>(application_);
}

bool CSlideportCtrl::LoadFile(const std::string& strPPTFile) {
  if (!application_ || strPPTFile.empty() || !hasPresentationSuffix(strPPTFile)) return false;
  presentations_ = getApplicationObject(application_.get(), kApplicationPresentations);
  presentation_ = openPresentation(presentations_.get(), strPPTFile);
  slideShowSettings_ = getApplicationObject(presentation_.get(), kPresentationSlideShowSettings);
  callApplication(slideShowSettings_.get(), kSlideShowSettingsShowType,
                  {Variant(kSpeakerShowFullScreen)});
  slideShowWindow_ = getApplicationObject(slideShowSettings_.get(), kSlideShowSettingsRun);
  showSlideShowInDisplayChild();
  return true;
}

void CSlideportCtrl::showSlideShowInDisplayChild() {
  // Without a display (or before the control has its window) there is nothing to find or to
  // move into; the show still runs in the application.
  if (!x11_ || displayChild_ == 0) return;
  const WindowRect client = x11_->clientRect(displayChild_);
  const NativeWindow show = x11_->findTopLevelByClass(kSlideShowWindowClass);
  if (show == 0) return;
  x11_->reparentInto(show, displayChild_, client.width(), client.height());
}

bool CSlideportCtrl::Export(const std::string& strInputPPTFile, const std::string& strOutputDir,
                            const std::string& strOutputType, std::int16_t iWidth,
                            std::int16_t iHeight) {
  if (!application_ || strInputPPTFile.empty()) return false;
  presentations_ = getApplicationObject(application_.get(), kApplicationPresentations);
  presentation_ = openPresentation(presentations_.get(), strInputPPTFile);
  BusyCursor busy(x11_.get(), controlWindow_);
  callApplication(presentation_.get(), kPresentationExport,
                  {Variant(strOutputDir), Variant(strOutputType), Variant(LONG{iWidth}),
                   Variant(LONG{iHeight})});
  return true;
}

void CSlideportCtrl::Next() {
  if (!application_ || !slideShowWindow_) return;
  slideShowView_ = getApplicationObject(slideShowWindow_.get(), kSlideShowWindowView);
  if (slideShowView_) callApplication(slideShowView_.get(), kSlideShowViewNext);
}

void CSlideportCtrl::Previous() {
  if (!application_ || !slideShowWindow_) return;
  slideShowView_ = getApplicationObject(slideShowWindow_.get(), kSlideShowWindowView);
  if (slideShowView_) callApplication(slideShowView_.get(), kSlideShowViewPrevious);
}

std::int16_t CSlideportCtrl::GetCurrentSlideNo() {
  if (!application_ || !slideShowWindow_) return 0;
  slideShowView_ = getApplicationObject(slideShowWindow_.get(), kSlideShowWindowView);
  // A window without a view has no position to report.
  if (!slideShowView_) return 0;
  return static_cast<std::int16_t>(
      getApplicationLong(slideShowView_.get(), kSlideShowViewCurrentShowPosition));
}

std::int16_t CSlideportCtrl::GetSlideCount() {
  if (!application_ || !presentation_) return 0;
  slides_ = getApplicationObject(presentation_.get(), kPresentationSlides);
  if (!slides_) return 0;
  return static_cast<std::int16_t>(getApplicationLong(slides_.get(), kSlidesCount));
}

void CSlideportCtrl::Quit() {
  if (!application_) return;
  // A failing Close ends here, before the application is told to quit, so that the host can
  // still reach the application that holds the presentation.
  if (presentation_) callApplication(presentation_.get(), kPresentationClose);
  callApplication(application_.get(), kApplicationQuit);
  application_.reset();
}

void CSlideportCtrl::OnDestroy() {
  if (!application_ || !presentation_) return;
  // Nobody waits for a result while the window goes away; the application keeps its own
  // account of a presentation it could not close.
  try {
    callApplication(presentation_.get(), kPresentationClose);
  } catch (const ApplicationFailure&) {
  }
}

}  // namespace pressmark::control
