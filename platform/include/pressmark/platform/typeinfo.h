#pragma once
// Type information kept as data in the module: a type library description
// (library, dispinterfaces with their members and DISPIDs, coclasses) from
// which ITypeLib/ITypeInfo are served; DispatchTable, which implements
// IDispatch from a dispinterface's ITypeInfo; and type-library registration
// in the class registry.
//
// Example (a control module). The helper functions below build the entries;
// GCC 12 warns (-Wmissing-field-initializers) about designated initializers
// that leave members out, so prefer them over `{.name = ...}`:
//
//   const TypeLibDesc& slideportLib() {
//       static const TypeLibDesc lib = [] {
//           TypeLibDesc d;
//           d.name = "SLIDEPORTLib";
//           d.libid = LIBID_SLIDEPORTLib;
//           d.libFlags = LIBFLAG_FCONTROL;
//           d.helpString = "Slideport ActiveX Control";
//           d.helpFile = "Slideport.hlp";
//           d.types = {
//               dispinterface("_DSlideport", DIID__DSlideport,
//                             {method(7, "LoadFile", {{"strPPTFile", VT_BSTR}}, VT_BOOL), ...},
//                             TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE, "Dispatch interface for Slideport Control"),
//               coclass("Slideport", CLSID_Slideport, {{DIID__DSlideport, IMPLTYPEFLAG_FDEFAULT}, ...},
//                       TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, "Slideport Control")};
//           return d;
//       }();
//       return lib;
//   }
//   PRESSMARK_EXPORT HRESULT DllGetTypeLib(ITypeLib** out) { return makeTypeLib(slideportLib()).copyTo(out); }
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/variant.h"

namespace pressmark::platform {

// ---- the description ---------------------------------------------------------------
struct ParamDesc {
    ParamDesc(std::string name_, VARTYPE vt_ = VT_VARIANT, bool optional_ = false)
        : name(std::move(name_)), vt(vt_), optional(optional_) {}
    std::string name;
    VARTYPE vt = VT_VARIANT;  // VT_VARIANT: passed on unconverted
    bool optional = false;    // only trailing parameters may be optional
};

struct MemberDesc {
    DISPID dispid = DISPID_UNKNOWN;
    std::string name;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    // For a property put, the last parameter is the assigned value.
    std::vector<ParamDesc> params;
    VARTYPE result = VT_VOID;  // VT_VOID: no result
    std::string helpString;
};

struct ImplTypeDesc {
    ImplTypeDesc(const IID& iid_, INT flags_ = 0) : iid(iid_), flags(flags_) {}
    IID iid;        // a dispinterface of the same library
    INT flags = 0;  // IMPLTYPEFLAG_*
};

struct TypeDesc {
    TYPEKIND kind = TKIND_DISPATCH;  // TKIND_DISPATCH or TKIND_COCLASS
    std::string name;
    GUID guid;
    std::string helpString;
    WORD flags = 0;  // TYPEFLAG_*
    std::vector<MemberDesc> members;      // dispinterfaces
    std::vector<ImplTypeDesc> implTypes;  // coclasses
};

struct TypeLibDesc {
    std::string name;
    GUID libid;
    WORD majorVersion = 1;
    WORD minorVersion = 0;
    LCID lcid = LOCALE_NEUTRAL;
    WORD libFlags = 0;  // LIBFLAG_*
    std::string helpString;
    std::string helpFile;
    DWORD helpContext = 0;
    std::vector<TypeDesc> types;  // in the library's order
};

// Entry builders.
inline MemberDesc method(DISPID dispid, std::string name, std::vector<ParamDesc> params = {},
                         VARTYPE result = VT_VOID) {
    return MemberDesc{dispid, std::move(name), INVOKE_FUNC, std::move(params), result, {}};
}
inline MemberDesc propertyGet(DISPID dispid, std::string name, VARTYPE type, std::vector<ParamDesc> params = {}) {
    return MemberDesc{dispid, std::move(name), INVOKE_PROPERTYGET, std::move(params), type, {}};
}
// The assigned value is the last parameter, named "value".
inline MemberDesc propertyPut(DISPID dispid, std::string name, VARTYPE type, std::vector<ParamDesc> params = {}) {
    params.emplace_back("value", type);
    return MemberDesc{dispid, std::move(name), INVOKE_PROPERTYPUT, std::move(params), VT_VOID, {}};
}
inline TypeDesc dispinterface(std::string name, const IID& iid, std::vector<MemberDesc> members,
                              WORD flags = TYPEFLAG_FDISPATCHABLE, std::string helpString = {}) {
    return TypeDesc{TKIND_DISPATCH, std::move(name), iid, std::move(helpString), flags, std::move(members), {}};
}
inline TypeDesc coclass(std::string name, const CLSID& clsid, std::vector<ImplTypeDesc> implTypes,
                        WORD flags = TYPEFLAG_FCANCREATE, std::string helpString = {}) {
    return TypeDesc{TKIND_COCLASS, std::move(name), clsid, std::move(helpString), flags, {}, std::move(implTypes)};
}

// Builds the ITypeLib for a description (copied). Throws std::invalid_argument
// for an inconsistent description: two members of one interface with the same
// name or with the same DISPID and invoke kind, a coclass naming an interface
// that is not in the library, a non-trailing optional parameter.
ComPtr<ITypeLib> makeTypeLib(const TypeLibDesc& desc);

// ---- registration --------------------------------------------------------------------
// Registers a type library in the class registry as Windows does:
//   TypeLib\{LIBID}\<major>.<minor>            default = help string (else name)
//   TypeLib\{LIBID}\<ver>\FLAGS                default = library flags, decimal
//   TypeLib\{LIBID}\<ver>\HELPDIR              default = helpDir, or the module's folder when ""
//   TypeLib\{LIBID}\<ver>\<lcid hex>\win32     default = fullPath
//   Interface\{IID}                            default = interface name, for each dispinterface
//   Interface\{IID}\ProxyStubClsid(32)         default = {00020420-0000-0000-C000-000000000046}
//   Interface\{IID}\TypeLib                    default = {LIBID}, "Version" = "<major>.<minor>"
// The platform key is "win32" on every system so that registrations and the
// unregistration walk (which looks at "win16"/"win32") mean the same thing
// everywhere. Answers S_OK, E_INVALIDARG (null library, empty path) or
// TYPE_E_REGISTRYACCESS-like failures as HRESULT_FROM_WIN32(registry result).
HRESULT RegisterTypeLib(ITypeLib* lib, std::string_view fullPath, std::string_view helpDir);
// Removes TypeLib\{LIBID}\<ver>\<lcid> (and the version key and TypeLib\{LIBID}
// when nothing else is left under them) and the Interface keys of the
// library's dispinterfaces. Missing keys are not an error.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);

// The platform subkey name registrations use ("win32").
inline constexpr std::string_view kTypeLibPlatformKey = "win32";

// Loads the type library of a server module: loads the module (kept in the
// process's module cache, see creation.h) and calls its exported
// `DllGetTypeLib`. TYPE_E_CANTLOADLIBRARY when the module cannot be loaded
// or exports no type library.
HRESULT LoadTypeLib(std::string_view modulePath, ITypeLib** out);
// Loads a registered type library by LIBID: reads
// TypeLib\{LIBID}\<major>.<minor>\<lcid>\win32 (falling back to locale 0) and
// loads that module. TYPE_E_LIBNOTREGISTERED when not registered,
// TYPE_E_CANTLOADLIBRARY when the registered module cannot be loaded.
HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** out);

// ---- IDispatch from a table --------------------------------------------------------------
// The arguments of one call after conversion, in DECLARATION order (the
// reverse of DISPPARAMS::rgvarg). An omitted optional argument is VT_ERROR
// with DISP_E_PARAMNOTFOUND.
class DispArgs {
public:
    explicit DispArgs(std::vector<Variant> values) : values_(std::move(values)) {}
    std::size_t size() const { return values_.size(); }
    const Variant& operator[](std::size_t i) const { return values_.at(i); }
    bool isMissing(std::size_t i) const;
    // The typed values (declared types make these safe; they throw
    // AutomationError if the declared type differs).
    SHORT i2(std::size_t i) const;
    LONG i4(std::size_t i) const;
    bool boolean(std::size_t i) const;
    BSTR bstr(std::size_t i) const;         // owned by the arguments
    std::string utf8(std::size_t i) const;  // a VT_BSTR argument as UTF-8
    IDispatch* dispatch(std::size_t i) const;  // no new reference

private:
    std::vector<Variant> values_;
};

// Implements IDispatch for one dispinterface from its type information and a
// handler per DISPID:
//
//   DispatchTable t(typeInfo, "Slideport");
//   t.on(7, [this](const DispArgs& a, Variant& r) { r = Variant::boolean(LoadFile(a.utf8(0))); return S_OK; });
//
// Invoke checks, in this order: a DISPID that is not in the table (or has no
// handler, or no member of a matching invoke kind) -> DISP_E_MEMBERNOTFOUND;
// named arguments other than DISPID_PROPERTYPUT on a put or the member's
// parameter indices -> DISP_E_NONAMEDARGS / DISP_E_PARAMNOTFOUND; more
// arguments than parameters, or fewer than the non-optional ones ->
// DISP_E_BADPARAMCOUNT; an argument that VariantChangeType cannot convert to
// the declared type -> DISP_E_TYPEMISMATCH with *puArgErr = that argument's
// index in rgvarg (as Windows reports it). Then the handler runs. A failing
// HRESULT from the handler is returned as it is; an exception becomes
// DISP_E_EXCEPTION with EXCEPINFO filled (AutomationError: its source,
// description, help file, help context and HRESULT as scode; other
// exceptions: the table's source, what() and E_FAIL; bad_alloc:
// E_OUTOFMEMORY). A result is converted to the declared result type and
// stored when the caller passed pVarResult. The handler never sees
// arguments that failed a check.
class DispatchTable {
public:
    using Handler = std::function<HRESULT(const DispArgs& args, Variant& result)>;

    // `typeInfo`: the dispinterface's ITypeInfo (ITypeLib::GetTypeInfoOfGuid).
    // `source`: the EXCEPINFO source for exceptions that name none.
    DispatchTable(ComPtr<ITypeInfo> typeInfo, std::string source);

    // The handler of every member with this DISPID (method, get or put).
    DispatchTable& on(DISPID dispid, Handler handler);
    // The handler of one invoke kind (a property's get and put separately).
    DispatchTable& on(DISPID dispid, INVOKEKIND kind, Handler handler);

    const IID& iid() const { return iid_; }
    ITypeInfo* typeInfo() const { return typeInfo_.get(); }

    // The four IDispatch methods, ready to forward to.
    HRESULT GetTypeInfoCount(UINT* pctinfo) const;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) const;
    HRESULT GetIDsOfNames(REFIID riid, LPCOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) const;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const;

private:
    struct Member {
        DISPID dispid;
        INVOKEKIND kind;
        std::vector<VARTYPE> params;
        std::size_t optionalCount;
        VARTYPE result;
        Handler handler;
    };
    const Member* find(DISPID dispid, WORD flags, bool* dispidKnown) const;
    HRESULT convertArguments(const Member& m, const DISPPARAMS& params, std::vector<Variant>* out,
                             UINT* puArgErr) const;

    ComPtr<ITypeInfo> typeInfo_;
    IID iid_{};
    std::string source_;
    std::vector<Member> members_;
};

// An object whose IDispatch is served by a DispatchTable. It answers
// QueryInterface for IDispatch and for the table's dispinterface IID.
// `Interfaces` must include IDispatch.
//
//   class CSlideportCtrl final : public DispatchObject<IDispatch, IOleObject, ...> {
//   public:
//       CSlideportCtrl() : DispatchObject(DispatchTable(typeInfoOf_DSlideport(), "Slideport")) {
//           dispatchTable().on(6, [this](const DispArgs&, Variant& r) { ...; return S_OK; });
//       }
//   };
template <class... Interfaces>
class DispatchObject : public ComObject<Interfaces...> {
public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override { return table_.GetTypeInfoCount(pctinfo); }
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override {
        return table_.GetTypeInfo(iTInfo, lcid, ppTInfo);
    }
    HRESULT GetIDsOfNames(REFIID riid, LPCOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override {
        return table_.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return table_.Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    }

protected:
    explicit DispatchObject(DispatchTable table) : table_(std::move(table)) {}
    DispatchTable& dispatchTable() { return table_; }
    void* queryExtraInterface(REFIID riid) override {
        return riid == table_.iid() ? static_cast<IDispatch*>(this) : nullptr;
    }

private:
    DispatchTable table_;
};

// The ITypeInfo of `guid` in `lib`; throws AutomationError
// (TYPE_E_ELEMENTNOTFOUND) when the library has no such type.
ComPtr<ITypeInfo> typeInfoOf(ITypeLib* lib, REFGUID guid);

}  // namespace pressmark::platform
