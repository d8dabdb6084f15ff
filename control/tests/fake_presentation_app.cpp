// The test presentation application module (see fake_presentation_app.h).
#include "fake_presentation_app.h"

#include <memory>
#include <string>

#include "pressmark/platform/bstr.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/registry.h"
#include "pressmark/platform/variant.h"

using namespace pressmark::platform;
using pressmark::control::testing::CLSID_FakePresentationApp;
using pressmark::control::testing::FakeAppLog;
using pressmark::control::testing::FakeFailure;

namespace {

FakeAppLog g_log;

// Calls on the objects of an application instance that was told to quit fail the way a
// vanished server process does.
constexpr HRESULT RPC_E_DISCONNECTED = hresultOf(0x80010108);

struct Instance {
  bool ended = false;
};

std::string describeArgument(const VARIANT& v) {
  switch (v.vt) {
    case VT_BSTR:
      return "BSTR \"" + bstrToUtf8(v.bstrVal) + "\"";
    case VT_I4:
      return "I4 " + std::to_string(v.lVal);
    case VT_I2:
      return "I2 " + std::to_string(v.iVal);
    case VT_BOOL:
      return "BOOL " + std::to_string(v.boolVal);
    default:
      return "VT " + std::to_string(v.vt);
  }
}

std::string describeKind(WORD flags) {
  switch (flags) {
    case DISPATCH_METHOD:
      return "method";
    case DISPATCH_PROPERTYGET:
      return "get";
    case DISPATCH_PROPERTYPUT:
      return "put";
    default:
      return "flags" + std::to_string(flags);
  }
}

FakeFailure g_deferredFailure;

void fillExcepInfo(EXCEPINFO* info, const FakeFailure& failure) {
  info->wCode = failure.code;
  info->bstrSource = SysAllocStringUtf8(failure.source);
  info->bstrDescription = SysAllocStringUtf8(failure.description);
  info->bstrHelpFile = SysAllocStringUtf8(failure.helpFile);
  info->dwHelpContext = failure.helpContext;
  info->scode = failure.scode;
}

HRESULT deferredFillIn(EXCEPINFO* info) {
  fillExcepInfo(info, g_deferredFailure);
  return S_OK;
}

class FakeObject final : public ComObject<IDispatch> {
 public:
  FakeObject(std::string kind, std::shared_ptr<Instance> instance)
      : kind_(std::move(kind)), name_(kind_ + "#" + std::to_string(++g_log.counters[kind_])),
        instance_(std::move(instance)) {
    ++g_log.liveObjects;
    g_log.lines.push_back("create " + name_);
  }

  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPCOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* info, UINT*) override {
    std::string line = name_ + "." + std::to_string(dispid) + " " + describeKind(flags) + "(";
    for (UINT i = params->cArgs; i > params->cNamedArgs; --i) {
      if (i != params->cArgs) line += ", ";
      line += describeArgument(params->rgvarg[i - 1]);
    }
    for (UINT i = 0; i < params->cNamedArgs; ++i) {
      if (i != 0 || params->cArgs > params->cNamedArgs) line += ", ";
      line += "named " + std::to_string(params->rgdispidNamedArgs[i]) + " " +
              describeArgument(params->rgvarg[i]);
    }
    line += result != nullptr ? ") -> result" : ")";
    g_log.lines.push_back(line);

    if (instance_->ended) return RPC_E_DISCONNECTED;
    const std::string member = kind_ + "." + std::to_string(dispid);
    for (auto it = g_log.injections.begin(); it != g_log.injections.end(); ++it) {
      if (it->member != member) continue;
      const FakeFailure failure = it->failure;
      g_log.injections.erase(it);
      if (failure.result != DISP_E_EXCEPTION) return failure.result;
      if (failure.deferred) {
        g_deferredFailure = failure;
        info->pfnDeferredFillIn = &deferredFillIn;
      } else {
        fillExcepInfo(info, failure);
      }
      return DISP_E_EXCEPTION;
    }
    return answer(member, result);
  }

 private:
  ~FakeObject() override {
    --g_log.liveObjects;
    g_log.lines.push_back("release " + name_);
  }

  HRESULT answer(const std::string& member, VARIANT* result) {
    // The caller's result holds the only reference to the new object.
    const auto child = [&](const char* kind) {
      ComPtr<FakeObject> object = makeObject<FakeObject>(kind, instance_);
      if (result != nullptr) Variant(static_cast<IDispatch*>(object.get())).detach(result);
      return S_OK;
    };
    const auto number = [&](LONG value) {
      if (result != nullptr) Variant(value).detach(result);
      return S_OK;
    };
    if (member == "Application.2001") return child("Presentations");
    if (member == "Application.2021") {
      instance_->ended = true;
      return S_OK;
    }
    if (member == "Presentations.2005") {
      if (g_log.openAnswersNothing) return S_OK;
      return child("Presentation");
    }
    if (member == "Presentation.2015") return child("SlideShowSettings");
    if (member == "Presentation.2011") return child("Slides");
    if (member == "Presentation.2038" || member == "Presentation.2039") return S_OK;
    if (member == "SlideShowSettings.2010") return S_OK;
    if (member == "SlideShowSettings.2008") return child("SlideShowWindow");
    if (member == "SlideShowWindow.2003") return child("SlideShowView");
    if (member == "SlideShowView.2019" || member == "SlideShowView.2020") return S_OK;
    if (member == "SlideShowView.2027") return number(g_log.showPosition);
    if (member == "Slides.11") return number(g_log.slideCount);
    return DISP_E_MEMBERNOTFOUND;
  }

  std::string kind_;
  std::string name_;
  std::shared_ptr<Instance> instance_;
};

HRESULT createApplication(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (g_log.refuseCreation) return E_OUTOFMEMORY;
  ComPtr<FakeObject> app = makeObject<FakeObject>("Application", std::make_shared<Instance>());
  return app->QueryInterface(riid, ppv);
}

ClassFactory g_factory(CLSID_FakePresentationApp, &createApplication);

}  // namespace

extern "C" __attribute__((visibility("default"))) FakeAppLog* PressmarkFakeAppLog() {
  return &g_log;
}

PRESSMARK_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_FakePresentationApp) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

PRESSMARK_EXPORT HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }

PRESSMARK_EXPORT HRESULT DllRegisterServer() {
  const std::string path = moduleFileName(reinterpret_cast<const void*>(&DllRegisterServer));
  const std::string clsid = formatGuid(CLSID_FakePresentationApp);
  const RegKey root = RegKey::classesRoot();
  const bool ok = root.setSubKeyValue("Powerpoint.Application\\CLSID", clsid) == ERROR_SUCCESS &&
                  root.setSubKeyValue("CLSID\\" + clsid + "\\InprocServer32", path) ==
                      ERROR_SUCCESS;
  return ok ? S_OK : SELFREG_E_CLASS;
}

PRESSMARK_EXPORT HRESULT DllUnregisterServer() {
  const RegKey root = RegKey::classesRoot();
  root.deleteSubKeyTree("Powerpoint.Application");
  root.deleteSubKeyTree("CLSID\\" + formatGuid(CLSID_FakePresentationApp));
  return S_OK;
}
