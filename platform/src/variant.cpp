// VARIANT handling: clear, copy, change type, the Variant wrapper and
// EXCEPINFO helpers.
#include "pressmark/platform/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "pressmark/platform/errors.h"
#include "pressmark/platform/interfaces.h"

namespace pressmark::platform {

namespace {

bool isKnownBaseType(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BSTR:
        case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_UI1:
            return true;
        default:
            return false;
    }
}

bool isKnownType(VARTYPE vt) {
    if (vt & VT_BYREF) {
        const VARTYPE base = vt & ~VT_BYREF;
        return base == VT_VARIANT || (isKnownBaseType(base) && base != VT_EMPTY && base != VT_NULL);
    }
    return isKnownBaseType(vt);
}

void setEmpty(VARIANT* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

// Copies the value a VT_BYREF variant points to into `dest` (uninitialised).
HRESULT copyPointedTo(VARIANT* dest, const VARIANT* src) {
    setEmpty(dest);
    const VARTYPE base = src->vt & ~VT_BYREF;
    if (!src->byref) return E_INVALIDARG;
    switch (base) {
        case VT_I2: dest->iVal = *src->piVal; break;
        case VT_I4: dest->lVal = *src->plVal; break;
        case VT_UI1: dest->bVal = *src->pbVal; break;
        case VT_R4: dest->fltVal = *src->pfltVal; break;
        case VT_R8: dest->dblVal = *src->pdblVal; break;
        case VT_BOOL: dest->boolVal = *src->pboolVal; break;
        case VT_ERROR: dest->scode = *src->pscode; break;
        case VT_BSTR:
            if (*src->pbstrVal) {
                dest->bstrVal = SysAllocStringLen(*src->pbstrVal, SysStringLen(*src->pbstrVal));
                if (!dest->bstrVal) return E_OUTOFMEMORY;
            }
            break;
        case VT_DISPATCH:
            dest->pdispVal = *src->ppdispVal;
            if (dest->pdispVal) dest->pdispVal->AddRef();
            break;
        case VT_UNKNOWN:
            dest->punkVal = *src->ppunkVal;
            if (dest->punkVal) dest->punkVal->AddRef();
            break;
        case VT_VARIANT:
            return VariantCopyInd(dest, src->pvarVal);
        default:
            return DISP_E_BADVARTYPE;
    }
    dest->vt = base;
    return S_OK;
}

// ---- numbers ---------------------------------------------------------------------
bool isNumeric(VARTYPE vt) {
    return vt == VT_I2 || vt == VT_I4 || vt == VT_UI1 || vt == VT_R4 || vt == VT_R8 || vt == VT_BOOL;
}

double numericValue(const VARIANT& v) {
    switch (v.vt) {
        case VT_I2: return v.iVal;
        case VT_I4: return v.lVal;
        case VT_UI1: return v.bVal;
        case VT_R4: return v.fltVal;
        case VT_R8: return v.dblVal;
        case VT_BOOL: return v.boolVal ? -1.0 : 0.0;
        default: return 0.0;
    }
}

std::string_view trimmed(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Parses a decimal number: [sign] digits [. digits] [e [sign] digits].
bool parseNumber(std::string_view text, double* value) {
    std::string_view s = trimmed(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) return false;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    *value = negative ? -v : v;
    return true;
}

HRESULT roundToInteger(double v, double lo, double hi, std::int64_t* out) {
    if (!std::isfinite(v)) return DISP_E_OVERFLOW;
    const double r = std::nearbyint(v);  // default rounding mode: half to even, as Windows rounds
    if (r < lo || r > hi) return DISP_E_OVERFLOW;
    *out = static_cast<std::int64_t>(r);
    return S_OK;
}

HRESULT numberTo(double v, VARTYPE vt, VARIANT* out) {
    std::int64_t i = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_I2:
            if (FAILED(hr = roundToInteger(v, -32768.0, 32767.0, &i))) return hr;
            out->iVal = static_cast<SHORT>(i);
            break;
        case VT_I4:
            if (FAILED(hr = roundToInteger(v, -2147483648.0, 2147483647.0, &i))) return hr;
            out->lVal = static_cast<LONG>(i);
            break;
        case VT_UI1:
            if (FAILED(hr = roundToInteger(v, 0.0, 255.0, &i))) return hr;
            out->bVal = static_cast<BYTE>(i);
            break;
        case VT_R4:
            if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            out->fltVal = static_cast<float>(v);
            break;
        case VT_R8: out->dblVal = v; break;
        case VT_BOOL: out->boolVal = v != 0.0 ? VARIANT_TRUE : VARIANT_FALSE; break;
        default: return DISP_E_TYPEMISMATCH;
    }
    out->vt = vt;
    return S_OK;
}

std::string numberText(const VARIANT& v, USHORT flags) {
    switch (v.vt) {
        case VT_I2: return std::to_string(v.iVal);
        case VT_I4: return std::to_string(v.lVal);
        case VT_UI1: return std::to_string(v.bVal);
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL) return v.boolVal ? "True" : "False";
            return v.boolVal ? "-1" : "0";
        default: {
            char buffer[64];
            const double d = numericValue(v);
            auto [end, ec] = v.vt == VT_R4 ? std::to_chars(buffer, buffer + sizeof buffer, v.fltVal)
                                           : std::to_chars(buffer, buffer + sizeof buffer, d);
            std::string text(buffer, ec == std::errc() ? end : buffer);
            for (char& c : text)
                if (c == 'e') c = 'E';
            return text;
        }
    }
}

HRESULT setBstr(VARIANT* out, std::string_view utf8) {
    out->bstrVal = SysAllocStringUtf8(utf8);
    if (!out->bstrVal) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    return S_OK;
}

// Converts a by-value `src` of a known type into `out` (VT_EMPTY on entry).
HRESULT convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT* out) {
    if (src.vt == vt) return VariantCopy(out, &src);
    if (vt == VT_EMPTY) return S_OK;
    if (vt == VT_NULL) {
        if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        out->vt = VT_NULL;
        return S_OK;
    }
    switch (src.vt) {
        case VT_NULL:
            return DISP_E_TYPEMISMATCH;
        case VT_EMPTY:
            if (isNumeric(vt)) return numberTo(0.0, vt, out);
            if (vt == VT_BSTR) return setBstr(out, "");
            if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
                out->vt = vt;  // a null interface pointer
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        case VT_BSTR: {
            const std::string text = bstrToUtf8(src.bstrVal);
            if (vt == VT_BOOL) {
                const std::string_view t = trimmed(text);
                if (equalsNoCase(t, "true") || equalsNoCase(t, "false")) {
                    out->boolVal = equalsNoCase(t, "true") ? VARIANT_TRUE : VARIANT_FALSE;
                    out->vt = VT_BOOL;
                    return S_OK;
                }
            }
            if (!isNumeric(vt)) return DISP_E_TYPEMISMATCH;
            double v = 0;
            if (!parseNumber(text, &v)) return DISP_E_TYPEMISMATCH;
            return numberTo(v, vt, out);
        }
        case VT_ERROR:
            if (vt == VT_I4) {
                out->lVal = src.scode;
                out->vt = VT_I4;
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        case VT_DISPATCH:
            if (vt == VT_UNKNOWN) {
                out->punkVal = src.pdispVal;
                if (out->punkVal) out->punkVal->AddRef();
                out->vt = VT_UNKNOWN;
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        case VT_UNKNOWN:
            if (vt == VT_DISPATCH) {
                IDispatch* disp = nullptr;
                if (src.punkVal && FAILED(src.punkVal->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&disp))))
                    return DISP_E_TYPEMISMATCH;
                out->pdispVal = disp;
                out->vt = VT_DISPATCH;
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        default:
            break;
    }
    // Numeric source.
    if (vt == VT_BSTR) return setBstr(out, numberText(src, flags));
    if (vt == VT_ERROR && src.vt == VT_I4) {
        out->scode = src.lVal;
        out->vt = VT_ERROR;
        return S_OK;
    }
    if (isNumeric(vt)) return numberTo(numericValue(src), vt, out);
    return DISP_E_TYPEMISMATCH;
}

}  // namespace

void VariantInit(VARIANT* v) {
    if (v) setEmpty(v);
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!isKnownType(v->vt)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        switch (v->vt) {
            case VT_BSTR: SysFreeString(v->bstrVal); break;
            case VT_DISPATCH:
                if (v->pdispVal) v->pdispVal->Release();
                break;
            case VT_UNKNOWN:
                if (v->punkVal) v->punkVal->Release();
                break;
            default: break;
        }
    }
    setEmpty(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    if (!isKnownType(src->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = *src;
    if (src->vt == VT_BSTR && src->bstrVal) {
        copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    }
    if (src->vt == VT_DISPATCH && src->pdispVal) src->pdispVal->AddRef();
    if (src->vt == VT_UNKNOWN && src->punkVal) src->punkVal->AddRef();
    if (const HRESULT hr = VariantClear(dest); FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
    if (!isKnownType(src->vt)) return DISP_E_BADVARTYPE;
    VARIANT value;
    if (const HRESULT hr = copyPointedTo(&value, src); FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    if (const HRESULT hr = VariantClear(dest); FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    if (!isKnownType(src->vt)) return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
    if (!isKnownBaseType(vt)) return DISP_E_BADVARTYPE;
    VARIANT value;
    VariantInit(&value);
    if (const HRESULT hr = VariantCopyInd(&value, src); FAILED(hr)) return hr;
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = convert(value, flags, vt, &result);
    VariantClear(&value);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // Only now touch dest: it may be src, and it stays as it was on failure.
    if (const HRESULT clearHr = VariantClear(dest); FAILED(clearHr)) {
        VariantClear(&result);
        return clearHr;
    }
    *dest = result;
    return S_OK;
}

// ---- Variant -------------------------------------------------------------------------
Variant::Variant(const Variant& other) : Variant() {
    if (FAILED(VariantCopy(this, &other))) throw std::bad_alloc();
}
Variant::Variant(Variant&& other) noexcept : VARIANT(other) { setEmpty(&other); }
Variant::Variant(const VARIANT& other) : Variant() {
    const HRESULT hr = VariantCopy(this, &other);
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) throw AutomationError(hr);
}
Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}
Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(this);
        static_cast<VARIANT&>(*this) = other;
        setEmpty(&other);
    }
    return *this;
}
Variant::Variant(SHORT value) : Variant() {
    vt = VT_I2;
    iVal = value;
}
Variant::Variant(LONG value) : Variant() {
    vt = VT_I4;
    lVal = value;
}
Variant::Variant(double value) : Variant() {
    vt = VT_R8;
    dblVal = value;
}
Variant::Variant(std::string_view utf8) : Variant() {
    bstrVal = SysAllocStringUtf8(utf8);
    if (!bstrVal) throw std::bad_alloc();
    vt = VT_BSTR;
}
Variant::Variant(std::u16string_view utf16) : Variant() {
    bstrVal = SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size()));
    if (!bstrVal) throw std::bad_alloc();
    vt = VT_BSTR;
}
Variant::Variant(IDispatch* disp) : Variant() {
    vt = VT_DISPATCH;
    pdispVal = disp;
    if (disp) disp->AddRef();
}
Variant::Variant(IUnknown* unk) : Variant() {
    vt = VT_UNKNOWN;
    punkVal = unk;
    if (unk) unk->AddRef();
}
Variant Variant::boolean(bool value) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
Variant Variant::error(SCODE code) {
    Variant v;
    v.vt = VT_ERROR;
    v.scode = code;
    return v;
}
Variant Variant::null() {
    Variant v;
    v.vt = VT_NULL;
    return v;
}
Variant Variant::adopt(VARIANT& source) {
    Variant v;
    static_cast<VARIANT&>(v) = source;
    setEmpty(&source);
    return v;
}
void Variant::detach(VARIANT* target) {
    *target = *this;
    setEmpty(this);
}

namespace {
Variant converted(const Variant& v, VARTYPE vt, USHORT flags = 0) {
    Variant out;
    if (const HRESULT hr = VariantChangeType(&out, &v, flags, vt); FAILED(hr)) throw AutomationError(hr);
    return out;
}
}  // namespace

SHORT Variant::toShort() const { return converted(*this, VT_I2).iVal; }
LONG Variant::toLong() const { return converted(*this, VT_I4).lVal; }
bool Variant::toBool() const { return converted(*this, VT_BOOL).boolVal != VARIANT_FALSE; }
double Variant::toDouble() const { return converted(*this, VT_R8).dblVal; }
std::string Variant::toUtf8() const { return bstrToUtf8(converted(*this, VT_BSTR, VARIANT_ALPHABOOL).bstrVal); }

// ---- EXCEPINFO -------------------------------------------------------------------------
void InitExcepInfo(EXCEPINFO* info) {
    if (info) std::memset(info, 0, sizeof *info);
}

void ClearExcepInfo(EXCEPINFO* info) {
    if (!info) return;
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    InitExcepInfo(info);
}

void FillExcepInfo(EXCEPINFO* info) {
    if (info && info->pfnDeferredFillIn) {
        auto fill = info->pfnDeferredFillIn;
        info->pfnDeferredFillIn = nullptr;
        fill(info);
    }
}

}  // namespace pressmark::platform
