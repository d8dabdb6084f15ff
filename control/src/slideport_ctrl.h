// CSlideportCtrl: the Slideport control object. It keeps the references to the presentation
// application's objects, publishes its operations on the dispatch interface _DSlideport, saves
// its extent, and owns its window inside the host's window together with the display child
// window into which LoadFile moves the application's slide-show window.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/typeinfo.h"
#include "application_calls.h"
#include "x11_windows.h"

namespace pressmark::control {

namespace pf = pressmark::platform;

class CSlideportCtrl final
    : public pf::DispatchObject<pf::IDispatch, pf::IPersistStreamInit, pf::IPersistPropertyBag,
                                pf::IProvideClassInfo, pf::IOleObject, pf::IOleInPlaceObject,
                                pf::IOleControl> {
  using Base = pf::DispatchObject<pf::IDispatch, pf::IPersistStreamInit, pf::IPersistPropertyBag,
                                  pf::IProvideClassInfo, pf::IOleObject, pf::IOleInPlaceObject,
                                  pf::IOleControl>;

 public:
  CSlideportCtrl();

  // ---- operations, as the dispatch table calls them; text is UTF-8 ----
  bool InitControl();
  bool LoadFile(const std::string& strPPTFile);
  bool Export(const std::string& strInputPPTFile, const std::string& strOutputDir,
              const std::string& strOutputType, std::int16_t iWidth, std::int16_t iHeight);
  void Next();
  void Previous();
  std::int16_t GetCurrentSlideNo();
  std::int16_t GetSlideCount();
  void Quit();
  void AboutBox();

  // ---- IDispatch (_DSlideport): the table checks and converts, this hands on failures ----
  pf::HRESULT Invoke(pf::DISPID dispIdMember, pf::REFIID riid, pf::LCID lcid, pf::WORD wFlags,
                     pf::DISPPARAMS* pDispParams, pf::VARIANT* pVarResult,
                     pf::EXCEPINFO* pExcepInfo, pf::UINT* puArgErr) override;

  // ---- IPersist, IPersistStreamInit, IPersistPropertyBag ----
  pf::HRESULT GetClassID(pf::CLSID* pClassID) override;
  pf::HRESULT IsDirty() override;
  pf::HRESULT Load(pf::IStream* pStm) override;
  pf::HRESULT Save(pf::IStream* pStm, pf::BOOL fClearDirty) override;
  pf::HRESULT GetSizeMax(std::uint64_t* pCbSize) override;
  pf::HRESULT InitNew() override;
  pf::HRESULT Load(pf::IPropertyBag* pPropBag, pf::IErrorLog* pErrorLog) override;
  pf::HRESULT Save(pf::IPropertyBag* pPropBag, pf::BOOL fClearDirty,
                   pf::BOOL fSaveAllProperties) override;

  // ---- IProvideClassInfo ----
  pf::HRESULT GetClassInfo(pf::ITypeInfo** ppTI) override;

  // ---- IOleObject ----
  pf::HRESULT SetClientSite(pf::IOleClientSite* pClientSite) override;
  pf::HRESULT GetClientSite(pf::IOleClientSite** ppClientSite) override;
  pf::HRESULT SetHostNames(pf::LPCOLESTR szContainerApp, pf::LPCOLESTR szContainerObj) override;
  pf::HRESULT Close(pf::DWORD dwSaveOption) override;
  pf::HRESULT DoVerb(pf::LONG iVerb, pf::IOleClientSite* pActiveSite, pf::LONG lindex,
                     pf::HWND hwndParent, const pf::RECT* lprcPosRect) override;
  pf::HRESULT GetUserClassID(pf::CLSID* pClsid) override;
  pf::HRESULT SetExtent(pf::DWORD dwDrawAspect, pf::SIZEL* psizel) override;
  pf::HRESULT GetExtent(pf::DWORD dwDrawAspect, pf::SIZEL* psizel) override;
  pf::HRESULT GetMiscStatus(pf::DWORD dwAspect, pf::DWORD* pdwStatus) override;

  // ---- IOleWindow, IOleInPlaceObject ----
  pf::HRESULT GetWindow(pf::HWND* phwnd) override;
  pf::HRESULT ContextSensitiveHelp(pf::BOOL fEnterMode) override;
  pf::HRESULT InPlaceDeactivate() override;
  pf::HRESULT UIDeactivate() override;
  pf::HRESULT SetObjectRects(const pf::RECT* lprcPosRect, const pf::RECT* lprcClipRect) override;
  pf::HRESULT ReactivateAndUndo() override;

  // ---- IOleControl ----
  pf::HRESULT OnAmbientPropertyChange(pf::DISPID dispID) override;
  pf::HRESULT FreezeEvents(pf::BOOL bFreeze) override;

  // The display child window (0 while the control has no X11 window), for tests and hosts.
  NativeWindow displayChildWindow() const { return displayChild_; }

 private:
  ~CSlideportCtrl() override;

  void buildDispatchTable();
  // A table handler that runs `operation` and keeps an application failure for Invoke.
  template <class Operation>
  pf::DispatchTable::Handler guarded(Operation operation);

  // The control's window: created on in-place activation, gone on deactivation.
  pf::HRESULT activateInPlace(pf::IOleClientSite* site, pf::HWND hwndParent,
                              const pf::RECT* position);
  bool OnCreate(pf::HWND hwndParent, const pf::RECT& position);
  void OnSize();
  void OnDestroy();
  void destroyWindow();

  void showSlideShowInDisplayChild();
  void resetExtent();

  // Present while the control has windows on an X11 display; declared first so that it
  // outlives the windows made through it.
  std::unique_ptr<X11Session> x11_;
  bool windowAlive_ = false;  // also true for a windowless activation without a display
  NativeWindow controlWindow_ = 0;
  pf::SIZEL extent_{};  // HIMETRIC
  bool dirty_ = false;
  // The failure of the operation that Invoke is running, with everything the application
  // said about it, for Invoke to hand to the host.
  std::optional<ApplicationFailure> pendingFailure_;
  pf::ComPtr<pf::IOleClientSite> clientSite_;
  pf::ComPtr<pf::IOleInPlaceSite> inPlaceSite_;

  // The display child window and the application's objects, in the control's field order.
  // Members are destroyed last-first, so the references are released Slides, SlideShowView,
  // SlideShowWindow, SlideShowSettings, Presentation, Presentations, Application, as the
  // application expects when it tears down its object tree.
  NativeWindow displayChild_ = 0;
  pf::ComPtr<pf::IDispatch> application_;
  pf::ComPtr<pf::IDispatch> presentations_;
  pf::ComPtr<pf::IDispatch> presentation_;
  pf::ComPtr<pf::IDispatch> slideShowSettings_;
  pf::ComPtr<pf::IDispatch> slideShowWindow_;
  pf::ComPtr<pf::IDispatch> slideShowView_;
  pf::ComPtr<pf::IDispatch> slides_;
};

// The property page class: an empty page that exchanges no data.
class CSlideportPropPage final : public pf::ComObject<pf::IPersist> {
 public:
  CSlideportPropPage() = default;
  pf::HRESULT GetClassID(pf::CLSID* pClassID) override;
};

}  // namespace pressmark::control
