#include "pressmark/app/slideport.h"

#include "pressmark/platform/creation.h"
#include "pressmark/platform/dispatch_client.h"
#include "pressmark/platform/errors.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/stream.h"

#include <stdexcept>

namespace pressmark {
using namespace platform;

namespace {

// The control's extent on the host: 100 x 50 pixels, at the origin of the
// host window.
constexpr RECT SlideportRect{0, 0, 100, 50};

std::string ComposeMessage(const std::string& member, HRESULT hr, const std::string& description,
                           const std::string& source) {
    std::string text = "Slideport." + member + ": ";
    text += description.empty() ? hresultMessage(hr) : description;
    if (!source.empty()) text += " (" + source + ")";
    return text;
}

// A VT_BOOL result; a control that answers nothing has not succeeded.
bool ToBoolean(const Variant& result) { return !result.isEmpty() && result.toBool(); }

}  // namespace

TSlideportError::TSlideportError(std::string member, HRESULT hr, std::string description, std::string source,
                                 std::string helpFile, std::uint32_t helpContext)
    : Error({}, ComposeMessage(member, hr, description, source)), member_(std::move(member)), hr_(hr),
      description_(std::move(description)), source_(std::move(source)), helpFile_(std::move(helpFile)),
      helpContext_(helpContext) {}

// The host's side of the control: its client site and in-place site. The
// control asks it for the window to live on.
class TSlideport::TSite final : public ComObject<IOleClientSite, IOleInPlaceSite> {
public:
    explicit TSite(HWND window) : window_(window) {}

    HRESULT SaveObject() override { return S_OK; }
    HRESULT ShowObject() override { return S_OK; }
    HRESULT OnShowWindow(BOOL) override { return S_OK; }
    HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

    HRESULT GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return S_OK;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT CanInPlaceActivate() override { return S_OK; }
    HRESULT OnInPlaceActivate() override { return S_OK; }
    HRESULT OnInPlaceDeactivate() override { return S_OK; }
    HRESULT OnPosRectChange(const RECT*) override { return S_OK; }

private:
    HWND window_;
};

TSlideport::TSlideport(HWND hostWindow, std::span<const std::byte> storedState)
    : hostWindow_(hostWindow), storedState_(storedState.begin(), storedState.end()),
      control_(createInstance(CLSID_Slideport, CLSCTX_INPROC_SERVER)) {}

TSlideport::~TSlideport() { Deactivate(); }

void TSlideport::Activate() {
    site_ = makeObject<TSite>(hostWindow_);
    const ComPtr<IOleObject> object = control_.query<IOleObject>();
    DWORD misc = 0;
    if (object) object->GetMiscStatus(DVASPECT_CONTENT, &misc);
    // Controls that need their site before their state get it first.
    const bool siteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (object && siteFirst) checkHresult(object->SetClientSite(site_.get()), "Slideport: SetClientSite");

    if (const ComPtr<IPersistStreamInit> persist = control_.query<IPersistStreamInit>()) {
        if (storedState_.empty()) {
            checkHresult(persist->InitNew(), "Slideport: InitNew");
        } else {
            const ComPtr<MemoryStream> state = makeObject<MemoryStream>(std::span<const std::byte>(storedState_));
            checkHresult(persist->Load(state.get()), "Slideport: loading its stored state");
        }
    }
    if (object && !siteFirst) checkHresult(object->SetClientSite(site_.get()), "Slideport: SetClientSite");
    if (const ComPtr<IOleControl> control = control_.query<IOleControl>())
        control->OnAmbientPropertyChange(DISPID_UNKNOWN);
    if (object) {
        checkHresult(object->DoVerb(OLEIVERB_INPLACEACTIVATE, site_.get(), 0, hostWindow_, &SlideportRect),
                     "Slideport: in-place activation");
    }
    active_ = true;
}

void TSlideport::Deactivate() noexcept {
    dispatch_.reset();
    if (active_) {
        if (const ComPtr<IOleInPlaceObject> inPlace = control_.query<IOleInPlaceObject>()) inPlace->InPlaceDeactivate();
        if (const ComPtr<IOleObject> object = control_.query<IOleObject>()) {
            object->Close(OLECLOSE_NOSAVE);
            object->SetClientSite(nullptr);
        }
        active_ = false;
    }
    site_.reset();
    control_.reset();
}

IDispatch* TSlideport::DSlideport() {
    if (dispatch_) return dispatch_.get();
    if (!active_) Activate();
    ComPtr<IDispatch> dispatch;
    const HRESULT hr = control_.queryAs(DIID__DSlideport, &dispatch);
    if (FAILED(hr) || !dispatch) throw TSlideportError("_DSlideport", E_NOINTERFACE, "Interface not supported", {});
    dispatch_ = dispatch;
    return dispatch_.get();
}

Variant TSlideport::Invoke(const TSlideportCall& call, std::span<const Variant> arguments) {
    // The descriptors are the contract with the control's type library; a
    // call that strays from them is a bug here, not a control failure.
    bool matches = arguments.size() == call.ArgumentCount;
    for (std::size_t i = 0; matches && i < arguments.size(); ++i) matches = arguments[i].type() == call.Arguments[i];
    if (!matches) throw std::logic_error(std::string("Slideport.") + call.Name + " called with the wrong arguments");
    IDispatch* dispatch = DSlideport();
    Variant result;
    ExcepInfo exception;
    UINT argumentError = 0;
    const HRESULT hr = invokeRaw(dispatch, call.Dispid, DISPATCH_METHOD, arguments, &result, &exception,
                                 &argumentError);
    if (hr == DISP_E_EXCEPTION) {
        FillExcepInfo(&exception);
        const HRESULT reported = exception.scode != 0 ? exception.scode : hr;
        throw TSlideportError(call.Name, reported, exception.description(), exception.source(),
                              exception.helpFile(), exception.dwHelpContext);
    }
    if (FAILED(hr)) throw TSlideportError(call.Name, hr, {}, {});
    return result;
}

bool TSlideport::InitControl() { return ToBoolean(Invoke(SlideportInitControlCall, {})); }

bool TSlideport::LoadFile(const std::string& strPPTFile) {
    const Variant arguments[] = {Variant(strPPTFile)};
    return ToBoolean(Invoke(SlideportLoadFileCall, arguments));
}

bool TSlideport::Export(const std::string& strInputPPTFile, const std::string& strOutputDir,
                        const std::string& strOutputType, std::int16_t iWidth, std::int16_t iHeight) {
    const Variant arguments[] = {Variant(strInputPPTFile), Variant(strOutputDir), Variant(strOutputType),
                                 Variant(static_cast<SHORT>(iWidth)), Variant(static_cast<SHORT>(iHeight))};
    return ToBoolean(Invoke(SlideportExportCall, arguments));
}

void TSlideport::Quit() { Invoke(SlideportQuitCall, {}); }

std::unique_ptr<ISlideExporter> MakeSlideport() { return std::make_unique<TSlideport>(); }

}  // namespace pressmark
