#pragma once
// The COM interfaces of this layer as abstract classes. Methods appear in the
// order of the Windows vtable; interfaces marked "lite" keep only the methods
// our hosts and controls use (the omitted ones are listed so the shape stays
// recognisable). Each interface names its IID (`iid`, the Windows value where
// one exists) and its base interface (`Base`), which ComObject uses to answer
// QueryInterface for the whole chain.
//
// Interfaces have a protected, non-virtual destructor: objects are destroyed
// by their own Release, never by `delete` through an interface pointer, and a
// virtual destructor would add slots to the vtable.
//
// Threading is apartment-style: an object is used on the thread that created
// it. Reference counts are atomic only so that a stray Release from another
// thread cannot corrupt them; no other method is thread-safe.
#include "pressmark/platform/types.h"
#include "pressmark/platform/variant.h"

namespace pressmark::platform {

inline constexpr GUID kOleGuid(std::uint32_t data1) {
    return GUID{data1, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

// ---- IUnknown / IDispatch / IClassFactory ----------------------------------------
struct IUnknown {
    using Base = void;
    static constexpr IID iid = kOleGuid(0x00000000);
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct ITypeInfo;

struct IDispatch : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00020400);
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    // riid is reserved and must be IID_NULL; names are NUL-terminated UTF-16.
    // The first name is the member, the others its parameters. Unknown names
    // answer DISP_E_UNKNOWNNAME with DISPID_UNKNOWN in their slots.
    virtual HRESULT GetIDsOfNames(REFIID riid, LPCOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00000001);
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

// ---- byte streams --------------------------------------------------------------
struct ISequentialStream : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = parseGuid("{0C733A30-2A1C-11CE-ADE5-00AA0044773D}");
    // Reads up to cb bytes; *pcbRead (may be null) gets the count. Reading at
    // the end answers S_OK with 0 bytes.
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

protected:
    ~ISequentialStream() = default;
};

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

// IStream, lite: Seek, SetSize, Commit. Omitted: CopyTo, Revert, LockRegion,
// UnlockRegion, Stat, Clone.
struct IStream : ISequentialStream {
    using Base = ISequentialStream;
    static constexpr IID iid = kOleGuid(0x0000000C);
    virtual HRESULT Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition) = 0;
    virtual HRESULT SetSize(std::uint64_t libNewSize) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;

protected:
    ~IStream() = default;
};

// ---- persistence -----------------------------------------------------------------
struct IPersist : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x0000010C);
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;

protected:
    ~IPersist() = default;
};

struct IPersistStreamInit : IPersist {
    using Base = IPersist;
    static constexpr IID iid = parseGuid("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
    virtual HRESULT IsDirty() = 0;  // S_OK = dirty, S_FALSE = clean
    virtual HRESULT Load(IStream* pStm) = 0;
    virtual HRESULT Save(IStream* pStm, BOOL fClearDirty) = 0;
    virtual HRESULT GetSizeMax(std::uint64_t* pCbSize) = 0;
    virtual HRESULT InitNew() = 0;

protected:
    ~IPersistStreamInit() = default;
};

// Receives load errors of a property bag (lite: the one method it has).
struct IErrorLog : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = parseGuid("{3127CA40-446E-11CE-8135-00AA004BB851}");
    virtual HRESULT AddError(LPCOLESTR pszPropName, EXCEPINFO* pExcepInfo) = 0;

protected:
    ~IErrorLog() = default;
};

struct IPropertyBag : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = parseGuid("{55272A00-42CB-11CE-8135-00AA004BB851}");
    // pVar->vt on entry names the wanted type (VT_EMPTY: any). A missing
    // property answers E_INVALIDARG, as Windows bags do.
    virtual HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
    virtual HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) = 0;

protected:
    ~IPropertyBag() = default;
};

struct IPersistPropertyBag : IPersist {
    using Base = IPersist;
    static constexpr IID iid = parseGuid("{37D84F60-42CB-11CE-8135-00AA004BB851}");
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) = 0;
    virtual HRESULT Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) = 0;

protected:
    ~IPersistPropertyBag() = default;
};

// ---- type information --------------------------------------------------------------
enum TYPEKIND : int {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
};

// Type flags (TYPEATTR::wTypeFlags).
inline constexpr WORD TYPEFLAG_FAPPOBJECT = 0x1;
inline constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
inline constexpr WORD TYPEFLAG_FLICENSED = 0x4;
inline constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
inline constexpr WORD TYPEFLAG_FCONTROL = 0x20;
inline constexpr WORD TYPEFLAG_FDUAL = 0x40;
inline constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
inline constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
inline constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

// Implemented-type flags of a coclass (GetImplTypeFlags).
inline constexpr INT IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr INT IMPLTYPEFLAG_FSOURCE = 0x2;

// Library flags (TLIBATTR::wLibFlags).
inline constexpr WORD LIBFLAG_FRESTRICTED = 0x1;
inline constexpr WORD LIBFLAG_FCONTROL = 0x2;
inline constexpr WORD LIBFLAG_FHIDDEN = 0x4;
inline constexpr WORD LIBFLAG_FHASDISKIMAGE = 0x8;

enum INVOKEKIND : int {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8,
};

enum SYSKIND : int { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

using HREFTYPE = DWORD;

// TYPEATTR, lite: identity, kind, counts, flags, version.
struct TYPEATTR {
    GUID guid;
    LCID lcid;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
};

// FUNCDESC, lite: a member as a dispatch caller needs it. Parameter types are
// plain VARTYPEs (VT_VOID for "no result"). The pointers stay valid until
// ReleaseFuncDesc.
struct FUNCDESC {
    MEMBERID memid;
    INVOKEKIND invkind;
    SHORT cParams;
    SHORT cParamsOpt;
    const VARTYPE* lprgvtParams;
    VARTYPE vtReturn;
    WORD wFuncFlags;
};

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

struct ITypeLib;

// ITypeInfo, lite. Omitted: GetTypeComp, GetVarDesc, GetDllEntry,
// AddressOfMember, CreateInstance, GetMops, ReleaseVarDesc.
struct ITypeInfo : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00020401);
    virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
    // Names of the member `memid`: the member name first, then its parameter
    // names; at most cMaxNames, each a new BSTR the caller frees.
    virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
    virtual HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
    // Case-insensitive, as on Windows.
    virtual HRESULT GetIDsOfNames(LPCOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
    // Forwards to IDispatch::Invoke of `pvInstance` (an IDispatch*): our
    // interfaces are dispinterfaces, there is no vtable to call into.
    virtual HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    // memid MEMBERID_NIL (-1) describes the type itself. Null out-pointers are skipped.
    virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                     BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;

protected:
    ~ITypeInfo() = default;
};

inline constexpr MEMBERID MEMBERID_NIL = -1;

// ITypeLib, lite. Omitted: GetTypeComp, IsName, FindName.
struct ITypeLib : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00020402);
    virtual UINT GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
    virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    virtual HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
    // index -1 describes the library itself.
    virtual HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                     BSTR* pBstrHelpFile) = 0;
    virtual void ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;

protected:
    ~ITypeLib() = default;
};

struct IProvideClassInfo : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = parseGuid("{B196B283-BAB4-101A-B69C-00AA00341D07}");
    // The coclass's type information.
    virtual HRESULT GetClassInfo(ITypeInfo** ppTI) = 0;

protected:
    ~IProvideClassInfo() = default;
};

// ---- in-place activation on a host window -------------------------------------------
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
struct SIZEL {
    LONG cx;
    LONG cy;
};

inline constexpr LONG OLEIVERB_PRIMARY = 0;
inline constexpr LONG OLEIVERB_SHOW = -1;
inline constexpr LONG OLEIVERB_OPEN = -2;
inline constexpr LONG OLEIVERB_HIDE = -3;
inline constexpr LONG OLEIVERB_UIACTIVATE = -4;
inline constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
inline constexpr LONG OLEIVERB_PROPERTIES = -7;

inline constexpr DWORD OLECLOSE_SAVEIFDIRTY = 0;
inline constexpr DWORD OLECLOSE_NOSAVE = 1;
inline constexpr DWORD OLECLOSE_PROMPTSAVE = 2;

inline constexpr DWORD DVASPECT_CONTENT = 1;

inline constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
inline constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
inline constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
inline constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
inline constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

// The container's side of an embedded object, lite: SaveObject, ShowObject,
// OnShowWindow, RequestNewObjectLayout. Omitted: GetMoniker, GetContainer.
// A host that supports in-place activation also answers IOleInPlaceSite.
struct IOleClientSite : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00000118);
    virtual HRESULT SaveObject() = 0;
    virtual HRESULT ShowObject() = 0;
    virtual HRESULT OnShowWindow(BOOL fShow) = 0;
    virtual HRESULT RequestNewObjectLayout() = 0;

protected:
    ~IOleClientSite() = default;
};

struct IOleWindow : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00000114);
    virtual HRESULT GetWindow(HWND* phwnd) = 0;
    virtual HRESULT ContextSensitiveHelp(BOOL fEnterMode) = 0;

protected:
    ~IOleWindow() = default;
};

// The container's in-place site, lite: GetWindow gives the parent window.
// Omitted: OnUIActivate, GetWindowContext, Scroll, OnUIDeactivate,
// DiscardUndoState, DeactivateAndUndo.
struct IOleInPlaceSite : IOleWindow {
    using Base = IOleWindow;
    static constexpr IID iid = kOleGuid(0x00000119);
    virtual HRESULT CanInPlaceActivate() = 0;  // S_OK = yes
    virtual HRESULT OnInPlaceActivate() = 0;
    virtual HRESULT OnInPlaceDeactivate() = 0;
    virtual HRESULT OnPosRectChange(const RECT* lprcPosRect) = 0;

protected:
    ~IOleInPlaceSite() = default;
};

// The object's side, lite. Omitted: SetMoniker, GetMoniker, InitFromData,
// GetClipboardData, EnumVerbs, Update, IsUpToDate, GetUserType, Advise,
// Unadvise, EnumAdvise, SetColorScheme. Extents are in HIMETRIC (0.01 mm).
struct IOleObject : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = kOleGuid(0x00000112);
    virtual HRESULT SetClientSite(IOleClientSite* pClientSite) = 0;
    virtual HRESULT GetClientSite(IOleClientSite** ppClientSite) = 0;
    virtual HRESULT SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) = 0;
    virtual HRESULT Close(DWORD dwSaveOption) = 0;
    // OLEIVERB_INPLACEACTIVATE creates the object's window as a child of
    // hwndParent (0: windowless host, the object stays without a window) at
    // lprcPosRect in the parent's coordinates.
    virtual HRESULT DoVerb(LONG iVerb, IOleClientSite* pActiveSite, LONG lindex, HWND hwndParent,
                           const RECT* lprcPosRect) = 0;
    virtual HRESULT GetUserClassID(CLSID* pClsid) = 0;
    virtual HRESULT SetExtent(DWORD dwDrawAspect, SIZEL* psizel) = 0;
    virtual HRESULT GetExtent(DWORD dwDrawAspect, SIZEL* psizel) = 0;
    virtual HRESULT GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) = 0;

protected:
    ~IOleObject() = default;
};

struct IOleInPlaceObject : IOleWindow {
    using Base = IOleWindow;
    static constexpr IID iid = kOleGuid(0x00000113);
    virtual HRESULT InPlaceDeactivate() = 0;
    virtual HRESULT UIDeactivate() = 0;
    // Moves/resizes the object's window inside its parent.
    virtual HRESULT SetObjectRects(const RECT* lprcPosRect, const RECT* lprcClipRect) = 0;
    virtual HRESULT ReactivateAndUndo() = 0;

protected:
    ~IOleInPlaceObject() = default;
};

// Ambient-property notifications from the container, lite. Omitted:
// GetControlInfo, OnMnemonic.
struct IOleControl : IUnknown {
    using Base = IUnknown;
    static constexpr IID iid = parseGuid("{B196B288-BAB4-101A-B69C-00AA00341D07}");
    virtual HRESULT OnAmbientPropertyChange(DISPID dispID) = 0;  // DISPID_UNKNOWN: all changed
    virtual HRESULT FreezeEvents(BOOL bFreeze) = 0;

protected:
    ~IOleControl() = default;
};

// Windows-style IID constants.
inline constexpr IID IID_IUnknown = IUnknown::iid;
inline constexpr IID IID_IDispatch = IDispatch::iid;
inline constexpr IID IID_IClassFactory = IClassFactory::iid;
inline constexpr IID IID_ISequentialStream = ISequentialStream::iid;
inline constexpr IID IID_IStream = IStream::iid;
inline constexpr IID IID_IPersist = IPersist::iid;
inline constexpr IID IID_IPersistStreamInit = IPersistStreamInit::iid;
inline constexpr IID IID_IErrorLog = IErrorLog::iid;
inline constexpr IID IID_IPropertyBag = IPropertyBag::iid;
inline constexpr IID IID_IPersistPropertyBag = IPersistPropertyBag::iid;
inline constexpr IID IID_ITypeInfo = ITypeInfo::iid;
inline constexpr IID IID_ITypeLib = ITypeLib::iid;
inline constexpr IID IID_IProvideClassInfo = IProvideClassInfo::iid;
inline constexpr IID IID_IOleClientSite = IOleClientSite::iid;
inline constexpr IID IID_IOleWindow = IOleWindow::iid;
inline constexpr IID IID_IOleInPlaceSite = IOleInPlaceSite::iid;
inline constexpr IID IID_IOleObject = IOleObject::iid;
inline constexpr IID IID_IOleInPlaceObject = IOleInPlaceObject::iid;
inline constexpr IID IID_IOleControl = IOleControl::iid;

// The proxy/stub class Windows registers for dispinterfaces (PSDispatch).
inline constexpr CLSID CLSID_PSDispatch = kOleGuid(0x00020420);
// The standard OLE Automation type library (stdole2).
inline constexpr GUID LIBID_stdole = kOleGuid(0x00020430);

}  // namespace pressmark::platform
