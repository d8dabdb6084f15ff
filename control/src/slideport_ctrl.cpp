// The control object as containers see it: dispatch table, saved state, in-place activation
// and its windows. The operations themselves are in slideport_automation.cpp.
#include "slideport_ctrl.h"

#include <array>

#include "pressmark/control/slideport_ids.h"
#include "pressmark/platform/errors.h"
#include "slideport_typelib.h"

namespace pressmark::control {

using namespace pressmark::platform;

namespace {

constexpr DWORD kMiscStatus = 131473;  // SETCLIENTSITEFIRST|ACTIVATEWHENVISIBLE|INSIDEOUT|...
static_assert(kMiscStatus == (OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_RECOMPOSEONRESIZE));

constexpr LONG kStateVersion = 0x00010000;  // major 1 in the high word, minor 0
constexpr LONG kStockPropertyMask = 0;      // the control has no stock properties
constexpr std::size_t kStateSize = 16;
constexpr int kInitialWidthPixels = 100;
constexpr int kInitialHeightPixels = 50;
constexpr WindowRect kDisplayChildInitialRect{0, 0, 200, 200};

// Pixels at 96 dots per inch to HIMETRIC (0.01 mm), rounded to nearest.
LONG pixelsToHimetric(LONG pixels) {
  const std::int64_t scaled = static_cast<std::int64_t>(pixels) * 2540;
  return static_cast<LONG>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

void putLong(std::array<std::byte, kStateSize>& bytes, std::size_t offset, LONG value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = std::byte((bits >> (8 * i)) & 0xFF);
}

LONG getLong(const std::array<std::byte, kStateSize>& bytes, std::size_t offset) {
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    bits |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
  }
  return static_cast<LONG>(bits);
}

// Reads exactly `size` bytes; a stream that ends earlier is not a saved state of ours.
HRESULT readExactly(IStream* stream, void* buffer, ULONG size) {
  auto* at = static_cast<std::byte*>(buffer);
  ULONG done = 0;
  while (done < size) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(at + done, size - done, &read);
    if (FAILED(hr)) return hr;
    if (read == 0) return STG_E_READFAULT;
    done += read;
  }
  return S_OK;
}

HRESULT writeLongProperty(IPropertyBag* bag, const char16_t* name, LONG value) {
  Variant v(value);
  return bag->Write(name, &v);
}

// A property that is missing from the bag keeps the value it has.
HRESULT readLongProperty(IPropertyBag* bag, IErrorLog* log, const char16_t* name, LONG* value) {
  Variant v;
  v.vt = VT_I4;
  const HRESULT hr = bag->Read(name, &v, log);
  if (hr == E_INVALIDARG) return S_OK;
  if (FAILED(hr)) return hr;
  Variant converted;
  const HRESULT changed = VariantChangeType(&converted, &v, 0, VT_I4);
  if (FAILED(changed)) return changed;
  *value = converted.lVal;
  return S_OK;
}

WindowRect toWindowRect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

}  // namespace

CSlideportCtrl::CSlideportCtrl()
    : Base(DispatchTable(typeInfoOf(slideportTypeLib().get(), DIID__DSlideport), "Slideport")) {
  resetExtent();
  buildDispatchTable();
}

CSlideportCtrl::~CSlideportCtrl() {
  // A container that lets go without deactivating still takes the window down the usual way.
  if (windowAlive_) destroyWindow();
}

// ---- dispatch -------------------------------------------------------------------------------

template <class Operation>
DispatchTable::Handler CSlideportCtrl::guarded(Operation operation) {
  return [this, operation](const DispArgs& args, Variant& result) -> HRESULT {
    try {
      operation(args, result);
      return S_OK;
    } catch (ApplicationFailure& failure) {
      pendingFailure_.emplace(std::move(failure));
      return DISP_E_EXCEPTION;
    }
  };
}

void CSlideportCtrl::buildDispatchTable() {
  DispatchTable& table = dispatchTable();
  table.on(dispidNext, guarded([this](const DispArgs&, Variant&) { Next(); }));
  table.on(dispidPrevious, guarded([this](const DispArgs&, Variant&) { Previous(); }));
  table.on(dispidGetCurrentSlideNo, guarded([this](const DispArgs&, Variant& r) {
             r = Variant(SHORT{GetCurrentSlideNo()});
           }));
  table.on(dispidExport, guarded([this](const DispArgs& a, Variant& r) {
             r = Variant::boolean(Export(a.utf8(0), a.utf8(1), a.utf8(2), a.i2(3), a.i2(4)));
           }));
  table.on(dispidInitControl, guarded([this](const DispArgs&, Variant& r) {
             r = Variant::boolean(InitControl());
           }));
  table.on(dispidLoadFile, guarded([this](const DispArgs& a, Variant& r) {
             r = Variant::boolean(LoadFile(a.utf8(0)));
           }));
  table.on(dispidGetSlideCount, guarded([this](const DispArgs&, Variant& r) {
             r = Variant(SHORT{GetSlideCount()});
           }));
  table.on(dispidQuit, guarded([this](const DispArgs&, Variant&) { Quit(); }));
  table.on(dispidAboutBox, guarded([this](const DispArgs&, Variant&) { AboutBox(); }));
}

HRESULT CSlideportCtrl::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult,
                               EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  pendingFailure_.reset();
  const HRESULT hr = Base::Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult,
                                  pExcepInfo, puArgErr);
  if (pendingFailure_) {
    std::optional<ApplicationFailure> failure = std::exchange(pendingFailure_, std::nullopt);
    failure->handTo(pExcepInfo);
  }
  return hr;
}

void CSlideportCtrl::AboutBox() {
  // The module carries no user-interface toolkit of its own; say so rather than pretend.
  throw AutomationError(E_NOTIMPL, "The Slideport About box is not available on this system.",
                        "Slideport");
}

// ---- saved state ----------------------------------------------------------------------------

void CSlideportCtrl::resetExtent() {
  extent_ = {pixelsToHimetric(kInitialWidthPixels), pixelsToHimetric(kInitialHeightPixels)};
}

HRESULT CSlideportCtrl::GetClassID(CLSID* pClassID) {
  if (pClassID == nullptr) return E_POINTER;
  *pClassID = CLSID_Slideport;
  return S_OK;
}

HRESULT CSlideportCtrl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT CSlideportCtrl::InitNew() {
  resetExtent();
  dirty_ = false;
  return S_OK;
}

HRESULT CSlideportCtrl::Load(IStream* pStm) {
  if (pStm == nullptr) return E_POINTER;
  // Only the four values are read; whatever follows belongs to the container.
  std::array<std::byte, kStateSize> bytes{};
  const HRESULT hr = readExactly(pStm, bytes.data(), kStateSize);
  if (FAILED(hr)) return hr;
  extent_ = {getLong(bytes, 4), getLong(bytes, 8)};
  dirty_ = false;
  return S_OK;
}

HRESULT CSlideportCtrl::Save(IStream* pStm, BOOL fClearDirty) {
  if (pStm == nullptr) return E_POINTER;
  std::array<std::byte, kStateSize> bytes{};
  putLong(bytes, 0, kStateVersion);
  putLong(bytes, 4, extent_.cx);
  putLong(bytes, 8, extent_.cy);
  putLong(bytes, 12, kStockPropertyMask);
  ULONG written = 0;
  const HRESULT hr = pStm->Write(bytes.data(), kStateSize, &written);
  if (FAILED(hr)) return hr;
  if (written != kStateSize) return STG_E_WRITEFAULT;
  if (fClearDirty) dirty_ = false;
  return S_OK;
}

HRESULT CSlideportCtrl::GetSizeMax(std::uint64_t* pCbSize) {
  if (pCbSize == nullptr) return E_POINTER;
  *pCbSize = kStateSize;
  return S_OK;
}

HRESULT CSlideportCtrl::Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) {
  if (pPropBag == nullptr) return E_POINTER;
  LONG version = kStateVersion;  // read, as containers expect, but not otherwise used
  SIZEL extent = extent_;
  LONG stock = kStockPropertyMask;
  for (const HRESULT hr : {readLongProperty(pPropBag, pErrorLog, u"_Version", &version),
                           readLongProperty(pPropBag, pErrorLog, u"_ExtentX", &extent.cx),
                           readLongProperty(pPropBag, pErrorLog, u"_ExtentY", &extent.cy),
                           readLongProperty(pPropBag, pErrorLog, u"_StockProps", &stock)}) {
    if (FAILED(hr)) return hr;
  }
  extent_ = extent;
  dirty_ = false;
  return S_OK;
}

HRESULT CSlideportCtrl::Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL) {
  if (pPropBag == nullptr) return E_POINTER;
  for (const HRESULT hr : {writeLongProperty(pPropBag, u"_Version", kStateVersion),
                           writeLongProperty(pPropBag, u"_ExtentX", extent_.cx),
                           writeLongProperty(pPropBag, u"_ExtentY", extent_.cy),
                           writeLongProperty(pPropBag, u"_StockProps", kStockPropertyMask)}) {
    if (FAILED(hr)) return hr;
  }
  if (fClearDirty) dirty_ = false;
  return S_OK;
}

HRESULT CSlideportCtrl::GetClassInfo(ITypeInfo** ppTI) {
  if (ppTI == nullptr) return E_POINTER;
  *ppTI = nullptr;
  try {
    return typeInfoOf(slideportTypeLib().get(), CLSID_Slideport).copyTo(ppTI);
  } catch (const AutomationError& error) {
    return error.hresult();
  }
}

// ---- IOleObject -----------------------------------------------------------------------------

HRESULT CSlideportCtrl::SetClientSite(IOleClientSite* pClientSite) {
  clientSite_ = ComPtr<IOleClientSite>(pClientSite);
  return S_OK;
}

HRESULT CSlideportCtrl::GetClientSite(IOleClientSite** ppClientSite) {
  return clientSite_.copyTo(ppClientSite);
}

HRESULT CSlideportCtrl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT CSlideportCtrl::Close(DWORD) { return InPlaceDeactivate(); }

HRESULT CSlideportCtrl::DoVerb(LONG iVerb, IOleClientSite* pActiveSite, LONG, HWND hwndParent,
                               const RECT* lprcPosRect) {
  switch (iVerb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_INPLACEACTIVATE:
      return activateInPlace(pActiveSite != nullptr ? pActiveSite : clientSite_.get(), hwndParent,
                             lprcPosRect);
    case OLEIVERB_HIDE:
      if (x11_) x11_->setVisible(controlWindow_, false);
      return S_OK;
    case OLEIVERB_PROPERTIES:
      // The one property page is empty, and the module has no toolkit to frame it.
      return E_NOTIMPL;
    default:
      return OLEOBJ_E_INVALIDVERB;
  }
}

HRESULT CSlideportCtrl::GetUserClassID(CLSID* pClsid) { return GetClassID(pClsid); }

HRESULT CSlideportCtrl::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
  if (psizel == nullptr) return E_POINTER;
  if (dwDrawAspect != DVASPECT_CONTENT) return E_INVALIDARG;
  extent_ = *psizel;
  dirty_ = true;
  return S_OK;
}

HRESULT CSlideportCtrl::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
  if (psizel == nullptr) return E_POINTER;
  if (dwDrawAspect != DVASPECT_CONTENT) return E_INVALIDARG;
  *psizel = extent_;
  return S_OK;
}

HRESULT CSlideportCtrl::GetMiscStatus(DWORD, DWORD* pdwStatus) {
  if (pdwStatus == nullptr) return E_POINTER;
  *pdwStatus = kMiscStatus;
  return S_OK;
}

// ---- in-place activation and the windows ---------------------------------------------------

HRESULT CSlideportCtrl::activateInPlace(IOleClientSite* site, HWND hwndParent,
                                        const RECT* position) {
  if (windowAlive_) {
    return position != nullptr ? SetObjectRects(position, position) : S_OK;
  }
  ComPtr<IOleInPlaceSite> inPlaceSite;
  if (site != nullptr) site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.putVoid());
  if (inPlaceSite) {
    if (inPlaceSite->CanInPlaceActivate() != S_OK) return E_FAIL;
    if (hwndParent == 0) inPlaceSite->GetWindow(&hwndParent);
  }
  const RECT initial{0, 0, kInitialWidthPixels, kInitialHeightPixels};
  if (!OnCreate(hwndParent, position != nullptr ? *position : initial)) return E_FAIL;
  if (inPlaceSite) inPlaceSite->OnInPlaceActivate();
  inPlaceSite_ = std::move(inPlaceSite);
  return S_OK;
}

bool CSlideportCtrl::OnCreate(HWND hwndParent, const RECT& position) {
  // Without a host window or without a display the control lives windowless: its window
  // behaviour (closing on destruction) still applies, there is just nothing to draw into.
  if (hwndParent != 0) x11_ = X11Session::open();
  if (x11_) {
    controlWindow_ = x11_->createChild(hwndParent, toWindowRect(position));
    if (controlWindow_ == 0) {
      // The host's window is not one of this display: creation fails, no child is made.
      x11_.reset();
      return false;
    }
    displayChild_ = x11_->createChild(controlWindow_, kDisplayChildInitialRect);
  }
  windowAlive_ = true;
  OnSize();
  return true;
}

void CSlideportCtrl::OnSize() {
  if (!x11_ || displayChild_ == 0) return;
  // The slide-show window inside keeps the size LoadFile gave it.
  x11_->setBounds(displayChild_, x11_->clientRect(controlWindow_));
  x11_->lowerToBottom(displayChild_);
}

void CSlideportCtrl::destroyWindow() {
  if (x11_) {
    // The slide-show window belongs to the application's process: give it back before our
    // windows go, or the application would lose it under its feet.
    x11_->releaseChildren(displayChild_);
    x11_->destroy(controlWindow_);  // takes the display child with it
    x11_.reset();
  }
  controlWindow_ = 0;
  displayChild_ = 0;
  windowAlive_ = false;
  OnDestroy();
}

HRESULT CSlideportCtrl::GetWindow(HWND* phwnd) {
  if (phwnd == nullptr) return E_POINTER;
  *phwnd = controlWindow_;
  return controlWindow_ != 0 ? S_OK : E_FAIL;
}

HRESULT CSlideportCtrl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT CSlideportCtrl::InPlaceDeactivate() {
  if (!windowAlive_) return S_OK;
  destroyWindow();
  if (ComPtr<IOleInPlaceSite> site = std::exchange(inPlaceSite_, nullptr)) {
    site->OnInPlaceDeactivate();
  }
  return S_OK;
}

HRESULT CSlideportCtrl::UIDeactivate() { return S_OK; }

HRESULT CSlideportCtrl::SetObjectRects(const RECT* lprcPosRect, const RECT*) {
  if (lprcPosRect == nullptr) return E_POINTER;
  const WindowRect position = toWindowRect(*lprcPosRect);
  extent_ = {pixelsToHimetric(position.width()), pixelsToHimetric(position.height())};
  if (x11_) x11_->setBounds(controlWindow_, position);
  OnSize();
  return S_OK;
}

HRESULT CSlideportCtrl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT CSlideportCtrl::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT CSlideportCtrl::FreezeEvents(BOOL) { return S_OK; }

// ---- property page ---------------------------------------------------------------------------

HRESULT CSlideportPropPage::GetClassID(CLSID* pClassID) {
  if (pClassID == nullptr) return E_POINTER;
  *pClassID = CLSID_SlideportPropPage;
  return S_OK;
}

}  // namespace pressmark::control
