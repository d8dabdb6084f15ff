#pragma once
// VARIANT, DISPPARAMS and EXCEPINFO with their Windows layout and rules, the
// Variant* functions, and small RAII wrappers (Variant, ExcepInfo).
//
// Ownership as on Windows: a VARIANT owns its BSTR and holds one reference on
// its interface pointer, unless VT_BYREF is set (then it only points).
#include <string>
#include <string_view>

#include "pressmark/platform/bstr.h"
#include "pressmark/platform/types.h"

namespace pressmark::platform {

struct IUnknown;
struct IDispatch;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_VOID = 24,   // type descriptions only: "no result"
    VT_HRESULT = 25,  // type descriptions only
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;         // VT_I4
        SHORT iVal;        // VT_I2
        BYTE bVal;         // VT_UI1
        float fltVal;      // VT_R4
        double dblVal;     // VT_R8
        VARIANT_BOOL boolVal;  // VT_BOOL
        SCODE scode;       // VT_ERROR
        BSTR bstrVal;      // VT_BSTR
        IUnknown* punkVal;     // VT_UNKNOWN
        IDispatch* pdispVal;   // VT_DISPATCH
        LONG* plVal;           // VT_BYREF|VT_I4
        SHORT* piVal;          // VT_BYREF|VT_I2
        BYTE* pbVal;           // VT_BYREF|VT_UI1
        float* pfltVal;        // VT_BYREF|VT_R4
        double* pdblVal;       // VT_BYREF|VT_R8
        VARIANT_BOOL* pboolVal;  // VT_BYREF|VT_BOOL
        SCODE* pscode;         // VT_BYREF|VT_ERROR
        BSTR* pbstrVal;        // VT_BYREF|VT_BSTR
        IUnknown** ppunkVal;   // VT_BYREF|VT_UNKNOWN
        IDispatch** ppdispVal;  // VT_BYREF|VT_DISPATCH
        VARIANT* pvarVal;      // VT_BYREF|VT_VARIANT
        void* byref;
    };
};
using VARIANTARG = VARIANT;

// VT_ERROR with this scode marks an omitted optional argument.
inline constexpr SCODE kParamNotFound = DISP_E_PARAMNOTFOUND;

// VariantChangeType flags.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;  // VT_BOOL -> "True"/"False" instead of "-1"/"0"

void VariantInit(VARIANT* v);
// Frees what `v` owns and leaves it VT_EMPTY. DISP_E_BADVARTYPE for a type
// this layer does not know (v is left unchanged then).
HRESULT VariantClear(VARIANT* v);
// Clears `dest`, then copies `src` into it (BSTR duplicated, interface AddRef'd).
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Like VariantCopy, but a VT_BYREF source is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts `src` to `vt` into `dest` (dest may equal src). Covers EMPTY, NULL,
// I2, I4, UI1, R4, R8, BOOL, BSTR, ERROR, DISPATCH and UNKNOWN, with
// VT_BYREF sources. Numbers are rounded half to even; strings are parsed as
// numbers ("12", " -3.5 ") or, for VT_BOOL, "True"/"False" in any case.
// Failures: DISP_E_TYPEMISMATCH (no conversion), DISP_E_OVERFLOW (value out
// of range), DISP_E_BADVARTYPE (unknown type). `dest` is untouched on failure.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

// Owning VARIANT (like CComVariant). Same size and layout as VARIANT, so an
// array of Variant can serve as DISPPARAMS::rgvarg.
class Variant : public VARIANT {
public:
    Variant() { VariantInit(this); }
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    explicit Variant(const VARIANT& other);  // copies
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() { VariantClear(this); }

    // Typed constructors. Note: use Variant::boolean for VT_BOOL so that a
    // pointer or integer never turns into a boolean by accident.
    explicit Variant(SHORT value);
    explicit Variant(LONG value);
    explicit Variant(double value);
    explicit Variant(std::string_view utf8);  // VT_BSTR
    explicit Variant(const char* utf8) : Variant(std::string_view(utf8)) {}
    explicit Variant(const std::string& utf8) : Variant(std::string_view(utf8)) {}
    explicit Variant(std::u16string_view utf16);  // VT_BSTR
    explicit Variant(IDispatch* disp);   // AddRefs; VT_DISPATCH
    explicit Variant(IUnknown* unk);     // AddRefs; VT_UNKNOWN
    static Variant boolean(bool value);
    static Variant error(SCODE code);
    static Variant null();
    // Takes a VARIANT's contents over (the source becomes VT_EMPTY).
    static Variant adopt(VARIANT& source);

    void clear() { VariantClear(this); }
    // Clears and answers the address for an [out] VARIANT*.
    VARIANT* out() {
        clear();
        return this;
    }
    // Gives the contents to a plain VARIANT (which must be empty or
    // uninitialised); this one becomes VT_EMPTY.
    void detach(VARIANT* target);

    VARTYPE type() const { return vt; }
    bool isEmpty() const { return vt == VT_EMPTY; }
    // Converting accessors: throw AutomationError (errors.h) carrying the
    // VariantChangeType result when the value cannot be converted.
    SHORT toShort() const;
    LONG toLong() const;
    bool toBool() const;
    double toDouble() const;
    std::string toUtf8() const;
};
static_assert(sizeof(Variant) == sizeof(VARIANT));

// ---- dispatch call arguments ---------------------------------------------------
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr DISPID DISPID_ABOUTBOX = -552;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments of IDispatch::Invoke. As on Windows, rgvarg holds the arguments
// in REVERSE order: rgvarg[cArgs - 1] is the first argument. Named arguments
// (their DISPIDs in rgdispidNamedArgs) come first in rgvarg.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// Exception information filled by Invoke when it answers DISP_E_EXCEPTION.
// The receiver (caller of Invoke) frees the strings: ClearExcepInfo.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// Zeroes every field.
void InitExcepInfo(EXCEPINFO* info);
// Frees the three strings and zeroes every field.
void ClearExcepInfo(EXCEPINFO* info);
// Runs pfnDeferredFillIn if set (as callers on Windows must) and clears it.
void FillExcepInfo(EXCEPINFO* info);

// Owning EXCEPINFO for an Invoke caller.
class ExcepInfo : public EXCEPINFO {
public:
    ExcepInfo() { InitExcepInfo(this); }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() { ClearExcepInfo(this); }
    std::string source() const { return bstrToUtf8(bstrSource); }
    std::string description() const { return bstrToUtf8(bstrDescription); }
    std::string helpFile() const { return bstrToUtf8(bstrHelpFile); }
};

}  // namespace pressmark::platform
