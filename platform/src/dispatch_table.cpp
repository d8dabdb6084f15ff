// IDispatch from a dispinterface's type information and a handler per DISPID.
#include <stdexcept>

#include "pressmark/platform/errors.h"
#include "pressmark/platform/typeinfo.h"

namespace pressmark::platform {

// ---- DispArgs ---------------------------------------------------------------------------
bool DispArgs::isMissing(std::size_t i) const {
    const Variant& v = values_.at(i);
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}
SHORT DispArgs::i2(std::size_t i) const { return values_.at(i).toShort(); }
LONG DispArgs::i4(std::size_t i) const { return values_.at(i).toLong(); }
bool DispArgs::boolean(std::size_t i) const { return values_.at(i).toBool(); }
BSTR DispArgs::bstr(std::size_t i) const {
    const Variant& v = values_.at(i);
    if (v.vt != VT_BSTR) throw AutomationError(DISP_E_TYPEMISMATCH);
    return v.bstrVal;
}
std::string DispArgs::utf8(std::size_t i) const {
    const Variant& v = values_.at(i);
    return v.vt == VT_BSTR ? bstrToUtf8(v.bstrVal) : v.toUtf8();
}
IDispatch* DispArgs::dispatch(std::size_t i) const {
    const Variant& v = values_.at(i);
    if (v.vt != VT_DISPATCH) throw AutomationError(DISP_E_TYPEMISMATCH);
    return v.pdispVal;
}

// ---- DispatchTable ------------------------------------------------------------------------
DispatchTable::DispatchTable(ComPtr<ITypeInfo> typeInfo, std::string source)
    : typeInfo_(std::move(typeInfo)), source_(std::move(source)) {
    if (!typeInfo_) throw std::invalid_argument("DispatchTable needs type information");
    TYPEATTR* attr = nullptr;
    checkHresult(typeInfo_->GetTypeAttr(&attr), "Reading type attributes");
    iid_ = attr->guid;
    const WORD count = attr->cFuncs;
    typeInfo_->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* f = nullptr;
        checkHresult(typeInfo_->GetFuncDesc(i, &f), "Reading a member description");
        Member m{f->memid, f->invkind, {}, static_cast<std::size_t>(f->cParamsOpt), f->vtReturn, {}};
        m.params.assign(f->lprgvtParams, f->lprgvtParams + f->cParams);
        typeInfo_->ReleaseFuncDesc(f);
        members_.push_back(std::move(m));
    }
}

DispatchTable& DispatchTable::on(DISPID dispid, Handler handler) {
    bool found = false;
    for (Member& m : members_) {
        if (m.dispid == dispid) {
            m.handler = handler;
            found = true;
        }
    }
    if (!found) throw std::invalid_argument("DISPID " + std::to_string(dispid) + " is not in the interface");
    return *this;
}

DispatchTable& DispatchTable::on(DISPID dispid, INVOKEKIND kind, Handler handler) {
    for (Member& m : members_) {
        if (m.dispid == dispid && m.kind == kind) {
            m.handler = std::move(handler);
            return *this;
        }
    }
    throw std::invalid_argument("DISPID " + std::to_string(dispid) + " with this invoke kind is not in the interface");
}

HRESULT DispatchTable::GetTypeInfoCount(UINT* pctinfo) const {
    if (!pctinfo) return E_INVALIDARG;
    *pctinfo = 1;
    return S_OK;
}

HRESULT DispatchTable::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) const {
    if (!ppTInfo) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return typeInfo_.copyTo(ppTInfo);
}

HRESULT DispatchTable::GetIDsOfNames(REFIID riid, LPCOLESTR* rgszNames, UINT cNames, LCID,
                                     DISPID* rgDispId) const {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return typeInfo_->GetIDsOfNames(rgszNames, cNames, rgDispId);
}

const DispatchTable::Member* DispatchTable::find(DISPID dispid, WORD flags, bool* dispidKnown) const {
    *dispidKnown = false;
    for (const Member& m : members_) {
        if (m.dispid != dispid) continue;
        *dispidKnown = true;
        if ((flags & m.kind) && m.handler) return &m;
    }
    return nullptr;
}

// Places the arguments in declaration order and converts each to its
// declared type. On failure *puArgErr gets the rgvarg index.
HRESULT DispatchTable::convertArguments(const Member& m, const DISPPARAMS& params, std::vector<Variant>* out,
                                        UINT* puArgErr) const {
    const std::size_t count = m.params.size();
    const bool isPut = m.kind == INVOKE_PROPERTYPUT || m.kind == INVOKE_PROPERTYPUTREF;
    if (params.cArgs > count) return DISP_E_BADPARAMCOUNT;
    if (params.cNamedArgs > params.cArgs) return E_INVALIDARG;

    // slot[p] = the rgvarg index that fills declared parameter p, or -1.
    std::vector<long> slot(count, -1);
    const UINT positional = params.cArgs - params.cNamedArgs;
    if (isPut) {
        if (params.cNamedArgs != 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) return DISP_E_PARAMNOTFOUND;
        if (count == 0) return DISP_E_BADPARAMCOUNT;
        slot[count - 1] = 0;
    } else {
        for (UINT n = 0; n < params.cNamedArgs; ++n) {
            const DISPID p = params.rgdispidNamedArgs[n];
            if (p < 0 || static_cast<std::size_t>(p) >= count || p < static_cast<DISPID>(positional)) {
                if (puArgErr) *puArgErr = n;
                return DISP_E_PARAMNOTFOUND;
            }
            slot[static_cast<std::size_t>(p)] = n;
        }
    }
    for (UINT i = 0; i < positional; ++i) slot[i] = static_cast<long>(params.cArgs - 1 - i);

    const std::size_t required = count - m.optionalCount;
    out->clear();
    for (std::size_t p = 0; p < count; ++p) {
        if (slot[p] < 0) {
            if (p < required) return DISP_E_BADPARAMCOUNT;
            out->push_back(Variant::error(DISP_E_PARAMNOTFOUND));
            continue;
        }
        const VARIANT& arg = params.rgvarg[slot[p]];
        const bool omitted = arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND;
        if (omitted) {
            if (p < required) {
                if (puArgErr) *puArgErr = static_cast<UINT>(slot[p]);
                return DISP_E_PARAMNOTOPTIONAL;
            }
            out->push_back(Variant::error(DISP_E_PARAMNOTFOUND));
            continue;
        }
        Variant value;
        const HRESULT hr = m.params[p] == VT_VARIANT ? VariantCopyInd(&value, &arg)
                                                     : VariantChangeType(&value, &arg, 0, m.params[p]);
        if (FAILED(hr)) {
            if (hr == E_OUTOFMEMORY) return hr;
            if (puArgErr) *puArgErr = static_cast<UINT>(slot[p]);
            return DISP_E_TYPEMISMATCH;
        }
        out->push_back(std::move(value));
    }
    return S_OK;
}

namespace {
void fillException(EXCEPINFO* info, SCODE scode, std::string_view source, std::string_view description,
                   std::string_view helpFile = {}, DWORD helpContext = 0) {
    if (!info) return;
    InitExcepInfo(info);
    info->scode = scode;
    info->bstrSource = SysAllocStringUtf8(source);
    info->bstrDescription = SysAllocStringUtf8(description);
    if (!helpFile.empty()) info->bstrHelpFile = SysAllocStringUtf8(helpFile);
    info->dwHelpContext = helpContext;
}
}  // namespace

HRESULT DispatchTable::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                              VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) const {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (pVarResult) VariantInit(pVarResult);
    bool known = false;
    const Member* m = find(dispIdMember, wFlags, &known);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    const DISPPARAMS none{nullptr, nullptr, 0, 0};
    const DISPPARAMS& params = pDispParams ? *pDispParams : none;
    if ((params.cArgs && !params.rgvarg) || (params.cNamedArgs && !params.rgdispidNamedArgs)) return E_INVALIDARG;

    try {
        std::vector<Variant> values;
        if (const HRESULT hr = convertArguments(*m, params, &values, puArgErr); FAILED(hr)) return hr;
        const DispArgs args(std::move(values));
        Variant result;
        if (const HRESULT hr = m->handler(args, result); FAILED(hr)) return hr;
        if (m->result == VT_VOID || !pVarResult) return S_OK;
        if (m->result != VT_VARIANT && result.vt != m->result) {
            if (const HRESULT hr = VariantChangeType(&result, &result, 0, m->result); FAILED(hr)) return hr;
        }
        result.detach(pVarResult);
        return S_OK;
    } catch (const AutomationError& e) {
        fillException(pExcepInfo, e.hresult(), e.source().empty() ? source_ : e.source(), e.description(),
                      e.helpFile(), e.helpContext());
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        fillException(pExcepInfo, E_FAIL, source_, e.what());
        return DISP_E_EXCEPTION;
    } catch (...) {
        fillException(pExcepInfo, E_UNEXPECTED, source_, hresultMessage(E_UNEXPECTED));
        return DISP_E_EXCEPTION;
    }
}

}  // namespace pressmark::platform
