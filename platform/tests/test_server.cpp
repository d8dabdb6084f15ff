// A tiny in-process automation server for the platform tests: one creatable
// class (PressmarkTest.Calculator.1) with a dispinterface served from a
// DispatchTable, its type library, and the four server entry points plus
// DllGetTypeLib. It registers itself the way the project's modules do.
#include <mutex>

#include "pressmark/platform/com.h"
#include "test_server.h"

using namespace pressmark::platform;
using namespace pmtest;

namespace {

const TypeLibDesc& calculatorLib() {
    static const TypeLibDesc lib = [] {
        TypeLibDesc d;
        d.name = "CalculatorLib";
        d.libid = LIBID_CalculatorLib;
        d.helpString = "Pressmark test calculator";
        d.types = {
            dispinterface("ICalculator", DIID_ICalculator,
                          {method(DISPID_Add, "Add", {{"a", VT_I4}, {"b", VT_I4}}, VT_I4),
                           method(DISPID_Scale, "Scale", {{"value", VT_I2}, {"factor", VT_I2, true}}, VT_I2),
                           propertyGet(DISPID_Name, "Name", VT_BSTR), propertyPut(DISPID_Name, "Name", VT_BSTR),
                           method(DISPID_Fail, "Fail", {{"why", VT_BSTR}}),
                           method(DISPID_Echo, "Echo", {{"v", VT_VARIANT}}, VT_VARIANT)}),
            coclass("Calculator", CLSID_Calculator, {{DIID_ICalculator, IMPLTYPEFLAG_FDEFAULT}})};
        return d;
    }();
    return lib;
}

class Calculator final : public DispatchObject<IDispatch, IProvideClassInfo> {
public:
    Calculator() : DispatchObject(DispatchTable(typeInfoOf(makeTypeLib(calculatorLib()).get(), DIID_ICalculator), "Calculator")) {
        dispatchTable()
            .on(DISPID_Add,
                [](const DispArgs& a, Variant& r) {
                    r = Variant(static_cast<LONG>(a.i4(0) + a.i4(1)));
                    return S_OK;
                })
            .on(DISPID_Scale,
                [](const DispArgs& a, Variant& r) {
                    const SHORT factor = a.isMissing(1) ? SHORT{2} : a.i2(1);
                    r = Variant(static_cast<LONG>(a.i2(0) * factor));  // converted to the declared VT_I2
                    return S_OK;
                })
            .on(DISPID_Name, INVOKE_PROPERTYGET,
                [this](const DispArgs&, Variant& r) {
                    r = Variant(name_);
                    return S_OK;
                })
            .on(DISPID_Name, INVOKE_PROPERTYPUT,
                [this](const DispArgs& a, Variant&) {
                    name_ = a.utf8(0);
                    return S_OK;
                })
            .on(DISPID_Fail,
                [](const DispArgs& a, Variant&) -> HRESULT {
                    throw AutomationError(E_FAIL, "Calculator failed: " + a.utf8(0), "PressmarkTest.Calculator");
                })
            .on(DISPID_Echo, [](const DispArgs& a, Variant& r) {
                r = a[0];
                return S_OK;
            });
    }

    HRESULT GetClassInfo(ITypeInfo** ppTI) override {
        if (!ppTI) return E_POINTER;
        return makeTypeLib(calculatorLib())->GetTypeInfoOfGuid(CLSID_Calculator, ppTI);
    }

private:
    std::string name_ = "calc";
};

ClassFactory calculatorFactory(CLSID_Calculator, &createObjectOf<Calculator>);
std::mutex factoriesLock;  // the module-wide lock around the class objects

std::string thisModule() { return moduleFileName(reinterpret_cast<const void*>(&calculatorLib)); }

}  // namespace

PRESSMARK_EXPORT HRESULT DllCanUnloadNow() {
    std::lock_guard lock(factoriesLock);
    return ModuleCanUnloadNow();
}

PRESSMARK_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    std::lock_guard lock(factoriesLock);
    if (rclsid != calculatorFactory.clsid()) return CLASS_E_CLASSNOTAVAILABLE;
    return calculatorFactory.QueryInterface(riid, ppv);
}

PRESSMARK_EXPORT HRESULT DllGetTypeLib(ITypeLib** out) {
    if (!out) return E_POINTER;
    try {
        *out = makeTypeLib(calculatorLib()).detach();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

PRESSMARK_EXPORT HRESULT DllRegisterServer() {
    try {
        const std::string path = thisModule();
        ComPtr<ITypeLib> lib = makeTypeLib(calculatorLib());
        if (FAILED(RegisterTypeLib(lib.get(), path, ""))) return SELFREG_E_TYPELIB;
        const RegKey root = RegKey::classesRoot();
        const std::string clsid = formatGuid(CLSID_Calculator);
        const std::string key = "CLSID\\" + clsid;
        RegKey server;
        const bool ok = root.setSubKeyValue(kProgId, "Pressmark test calculator") == ERROR_SUCCESS &&
                        root.setSubKeyValue(std::string(kProgId) + "\\CLSID", clsid) == ERROR_SUCCESS &&
                        root.setSubKeyValue(key, "Pressmark test calculator") == ERROR_SUCCESS &&
                        root.setSubKeyValue(key + "\\ProgID", kProgId) == ERROR_SUCCESS &&
                        root.setSubKeyValue(key + "\\InprocServer32", path) == ERROR_SUCCESS &&
                        root.openSubKey(key + "\\InprocServer32", &server) == ERROR_SUCCESS &&
                        server.setValue("ThreadingModel", "Apartment") == ERROR_SUCCESS &&
                        root.setSubKeyValue(key + "\\TypeLib", formatGuid(LIBID_CalculatorLib)) == ERROR_SUCCESS;
        return ok ? S_OK : SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

PRESSMARK_EXPORT HRESULT DllUnregisterServer() {
    if (FAILED(UnRegisterTypeLib(LIBID_CalculatorLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN32))) return SELFREG_E_TYPELIB;
    const RegKey root = RegKey::classesRoot();
    const auto okOrMissing = [](LSTATUS s) { return s == ERROR_SUCCESS || s == ERROR_FILE_NOT_FOUND; };
    const bool ok = okOrMissing(root.deleteSubKeyTree("CLSID\\" + formatGuid(CLSID_Calculator))) &&
                    okOrMissing(root.deleteSubKeyTree(kProgId));
    return ok ? S_OK : SELFREG_E_CLASS;
}
