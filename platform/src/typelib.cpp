// ITypeLib / ITypeInfo served from a TypeLibDesc.
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include "pressmark/platform/errors.h"
#include "pressmark/platform/typeinfo.h"

namespace pressmark::platform {

namespace {

std::string foldedName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The description plus what FUNCDESC points into (kept as long as any
// ITypeLib/ITypeInfo of the library lives).
struct LibData {
    TypeLibDesc desc;
    std::vector<std::vector<std::vector<VARTYPE>>> paramTypes;  // [type][member][param]
};

void validate(const TypeLibDesc& desc) {
    const auto fail = [&](const std::string& why) {
        throw std::invalid_argument("type library " + desc.name + ": " + why);
    };
    std::set<std::string> guids;
    for (const TypeDesc& type : desc.types) {
        if (!guids.insert(formatGuid(type.guid)).second) fail("two types with the GUID " + formatGuid(type.guid));
        if (type.kind != TKIND_DISPATCH && type.kind != TKIND_COCLASS) fail(type.name + ": unsupported type kind");
        std::map<std::string, DISPID> nameToId;
        std::set<std::pair<DISPID, int>> idKinds;
        for (const MemberDesc& m : type.members) {
            auto [it, inserted] = nameToId.try_emplace(foldedName(m.name), m.dispid);
            if (!inserted && it->second != m.dispid) fail(type.name + ": the name " + m.name + " is used twice");
            if (!idKinds.insert({m.dispid, m.invokeKind}).second)
                fail(type.name + ": DISPID " + std::to_string(m.dispid) + " is used twice for one invoke kind");
            bool optionalSeen = false;
            for (const ParamDesc& p : m.params) {
                if (optionalSeen && !p.optional) fail(type.name + "." + m.name + ": optional parameters must come last");
                optionalSeen = optionalSeen || p.optional;
            }
        }
        for (const ImplTypeDesc& impl : type.implTypes) {
            bool found = false;
            for (const TypeDesc& other : desc.types) found = found || (other.guid == impl.iid && other.kind == TKIND_DISPATCH);
            if (!found) fail(type.name + ": implements " + formatGuid(impl.iid) + ", which is not in the library");
        }
    }
}

HRESULT setBstr(BSTR* out, std::string_view text) {
    if (!out) return S_OK;
    *out = SysAllocStringUtf8(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

class CTypeInfo final : public ComObject<ITypeInfo> {
public:
    CTypeInfo(ComPtr<ITypeLib> lib, std::shared_ptr<const LibData> data, UINT index)
        : lib_(std::move(lib)), data_(std::move(data)), index_(index), type_(data_->desc.types[index]) {}

    HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) override {
        if (!ppTypeAttr) return E_INVALIDARG;
        *ppTypeAttr = new (std::nothrow) TYPEATTR{type_.guid,
                                                  data_->desc.lcid,
                                                  MEMBERID_NIL,
                                                  MEMBERID_NIL,
                                                  type_.kind,
                                                  static_cast<WORD>(type_.members.size()),
                                                  0,
                                                  static_cast<WORD>(type_.implTypes.size()),
                                                  type_.flags,
                                                  data_->desc.majorVersion,
                                                  data_->desc.minorVersion};
        return *ppTypeAttr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override {
        if (!ppFuncDesc) return E_INVALIDARG;
        *ppFuncDesc = nullptr;
        if (index >= type_.members.size()) return TYPE_E_ELEMENTNOTFOUND;
        const MemberDesc& m = type_.members[index];
        const auto& types = data_->paramTypes[index_][index];
        SHORT optional = 0;
        for (const ParamDesc& p : m.params) optional = static_cast<SHORT>(optional + (p.optional ? 1 : 0));
        *ppFuncDesc = new (std::nothrow) FUNCDESC{m.dispid,        m.invokeKind, static_cast<SHORT>(m.params.size()),
                                                  optional,        types.data(), m.result,
                                                  0};
        return *ppFuncDesc ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override {
        if (!rgBstrNames || !pcNames) return E_INVALIDARG;
        *pcNames = 0;
        const MemberDesc* m = findMember(memid);
        if (!m) return TYPE_E_ELEMENTNOTFOUND;
        std::vector<std::string_view> names{m->name};
        for (const ParamDesc& p : m->params) names.push_back(p.name);
        for (UINT i = 0; i < cMaxNames && i < names.size(); ++i) {
            if (FAILED(setBstr(&rgBstrNames[i], names[i]))) {
                for (UINT k = 0; k < i; ++k) SysFreeString(std::exchange(rgBstrNames[k], nullptr));
                return E_OUTOFMEMORY;
            }
            *pcNames = i + 1;
        }
        return S_OK;
    }

    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override {
        if (!pRefType) return E_INVALIDARG;
        if (index >= type_.implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
        const auto& types = data_->desc.types;
        for (UINT i = 0; i < types.size(); ++i) {
            if (types[i].guid == type_.implTypes[index].iid) {
                *pRefType = i;
                return S_OK;
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
        if (!pImplTypeFlags) return E_INVALIDARG;
        if (index >= type_.implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pImplTypeFlags = type_.implTypes[index].flags;
        return S_OK;
    }

    HRESULT GetIDsOfNames(LPCOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override {
        if (!rgszNames || !pMemId) return E_INVALIDARG;
        if (cNames == 0) return S_OK;
        for (UINT i = 0; i < cNames; ++i) pMemId[i] = DISPID_UNKNOWN;
        if (!rgszNames[0]) return E_INVALIDARG;
        const std::string name = foldedName(utf16ToUtf8(rgszNames[0]));
        HRESULT hr = DISP_E_UNKNOWNNAME;
        for (const MemberDesc& m : type_.members) {
            if (foldedName(m.name) != name) continue;
            pMemId[0] = m.dispid;
            hr = S_OK;
            // Parameter names answer their position, across get/put forms.
            for (UINT i = 1; i < cNames; ++i) {
                if (!rgszNames[i]) continue;
                const std::string param = foldedName(utf16ToUtf8(rgszNames[i]));
                for (std::size_t p = 0; p < m.params.size(); ++p)
                    if (foldedName(m.params[p].name) == param) pMemId[i] = static_cast<MEMBERID>(p);
            }
        }
        if (hr != S_OK) return hr;
        for (UINT i = 1; i < cNames; ++i)
            if (pMemId[i] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
        return S_OK;
    }

    HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (!pvInstance) return E_INVALIDARG;
        return static_cast<IDispatch*>(pvInstance)
            ->Invoke(memid, IID_NULL, LOCALE_NEUTRAL, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
    }

    HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                             BSTR* pBstrHelpFile) override {
        std::string_view name = type_.name;
        std::string_view doc = type_.helpString;
        if (memid != MEMBERID_NIL) {
            const MemberDesc* m = findMember(memid);
            if (!m) return TYPE_E_ELEMENTNOTFOUND;
            name = m->name;
            doc = m->helpString;
        }
        if (pdwHelpContext) *pdwHelpContext = 0;
        HRESULT hr = setBstr(pBstrName, name);
        if (SUCCEEDED(hr)) hr = setBstr(pBstrDocString, doc);
        if (SUCCEEDED(hr)) hr = setBstr(pBstrHelpFile, data_->desc.helpFile);
        return hr;
    }

    HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override {
        return lib_->GetTypeInfo(hRefType, ppTInfo);
    }
    HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override {
        if (pIndex) *pIndex = index_;
        return lib_.copyTo(ppTLib);
    }
    void ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
    void ReleaseFuncDesc(FUNCDESC* pFuncDesc) override { delete pFuncDesc; }

private:
    const MemberDesc* findMember(MEMBERID memid) const {
        for (const MemberDesc& m : type_.members)
            if (m.dispid == memid) return &m;
        return nullptr;
    }

    ComPtr<ITypeLib> lib_;
    std::shared_ptr<const LibData> data_;
    UINT index_;
    const TypeDesc& type_;
};

class CTypeLib final : public ComObject<ITypeLib> {
public:
    explicit CTypeLib(std::shared_ptr<const LibData> data) : data_(std::move(data)) {}

    UINT GetTypeInfoCount() override { return static_cast<UINT>(data_->desc.types.size()); }

    HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (index >= data_->desc.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        try {
            *ppTInfo = makeObject<CTypeInfo>(ComPtr<ITypeLib>(this), data_, index).detach();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (!pTKind) return E_INVALIDARG;
        if (index >= data_->desc.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = data_->desc.types[index].kind;
        return S_OK;
    }

    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
        if (!ppTinfo) return E_INVALIDARG;
        *ppTinfo = nullptr;
        for (UINT i = 0; i < data_->desc.types.size(); ++i)
            if (data_->desc.types[i].guid == guid) return GetTypeInfo(i, ppTinfo);
        return TYPE_E_ELEMENTNOTFOUND;
    }

    HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (!ppTLibAttr) return E_INVALIDARG;
        const TypeLibDesc& d = data_->desc;
        *ppTLibAttr = new (std::nothrow) TLIBATTR{d.libid, d.lcid, SYS_WIN32, d.majorVersion, d.minorVersion, d.libFlags};
        return *ppTLibAttr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                             BSTR* pBstrHelpFile) override {
        const TypeLibDesc& d = data_->desc;
        if (index == -1) {
            if (pdwHelpContext) *pdwHelpContext = d.helpContext;
            HRESULT hr = setBstr(pBstrName, d.name);
            if (SUCCEEDED(hr)) hr = setBstr(pBstrDocString, d.helpString);
            if (SUCCEEDED(hr)) hr = setBstr(pBstrHelpFile, d.helpFile);
            return hr;
        }
        ComPtr<ITypeInfo> info;
        if (index < 0) return TYPE_E_ELEMENTNOTFOUND;
        if (const HRESULT hr = GetTypeInfo(static_cast<UINT>(index), info.put()); FAILED(hr)) return hr;
        return info->GetDocumentation(MEMBERID_NIL, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
    }

    void ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

private:
    std::shared_ptr<const LibData> data_;
};

}  // namespace

ComPtr<ITypeLib> makeTypeLib(const TypeLibDesc& desc) {
    validate(desc);
    auto data = std::make_shared<LibData>();
    data->desc = desc;
    for (const TypeDesc& type : desc.types) {
        auto& perType = data->paramTypes.emplace_back();
        for (const MemberDesc& m : type.members) {
            auto& types = perType.emplace_back();
            for (const ParamDesc& p : m.params) types.push_back(p.vt);
        }
    }
    return makeObject<CTypeLib>(std::move(data));
}

ComPtr<ITypeInfo> typeInfoOf(ITypeLib* lib, REFGUID guid) {
    if (!lib) throw AutomationError(E_POINTER, "No type library");
    ComPtr<ITypeInfo> info;
    if (const HRESULT hr = lib->GetTypeInfoOfGuid(guid, info.put()); FAILED(hr))
        throw AutomationError(hr, "The type library has no type " + formatGuid(guid));
    return info;
}

}  // namespace pressmark::platform
