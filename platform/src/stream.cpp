// In-memory stream and property bag.
#include "pressmark/platform/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace pressmark::platform {

HRESULT MemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    const std::uint64_t available = pos_ < data_.size() ? data_.size() - pos_ : 0;
    const auto n = static_cast<ULONG>(std::min<std::uint64_t>(cb, available));
    if (n) std::memcpy(pv, data_.data() + pos_, n);
    pos_ += n;
    if (pcbRead) *pcbRead = n;
    return S_OK;
}

HRESULT MemoryStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (pcbWritten) *pcbWritten = 0;
    try {
        if (pos_ + cb > data_.size()) data_.resize(pos_ + cb);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (cb) std::memcpy(data_.data() + pos_, pv, cb);
    pos_ += cb;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
}

HRESULT MemoryStream::Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition) {
    std::int64_t base = 0;
    switch (dwOrigin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(pos_); break;
        case STREAM_SEEK_END: base = static_cast<std::int64_t>(data_.size()); break;
        default: return STG_E_INVALIDFUNCTION;
    }
    if ((dlibMove < 0 && base + dlibMove < 0) ||
        (dlibMove > 0 && base > std::numeric_limits<std::int64_t>::max() - dlibMove))
        return STG_E_INVALIDFUNCTION;
    pos_ = static_cast<std::uint64_t>(base + dlibMove);
    if (plibNewPosition) *plibNewPosition = pos_;
    return S_OK;
}

HRESULT MemoryStream::SetSize(std::uint64_t libNewSize) {
    try {
        data_.resize(libNewSize);
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT MemoryStream::Commit(DWORD) { return S_OK; }

namespace {
std::string lowerName(LPCOLESTR name) {
    std::string out = utf16ToUtf8(name ? name : u"");
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}
}  // namespace

HRESULT MemoryPropertyBag::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*) {
    if (!pszPropName || !pVar) return E_POINTER;
    auto it = entries_.find(lowerName(pszPropName));
    if (it == entries_.end()) return E_INVALIDARG;
    const VARTYPE wanted = pVar->vt;
    VariantInit(pVar);
    if (wanted == VT_EMPTY) return VariantCopy(pVar, &it->second.value);
    return VariantChangeType(pVar, &it->second.value, 0, wanted);
}

HRESULT MemoryPropertyBag::Write(LPCOLESTR pszPropName, VARIANT* pVar) {
    if (!pszPropName || !pVar) return E_POINTER;
    try {
        Variant copy;
        if (const HRESULT hr = VariantCopyInd(&copy, pVar); FAILED(hr)) return hr;
        entries_[lowerName(pszPropName)] = Entry{utf16ToUtf8(pszPropName), std::move(copy)};
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

std::map<std::string, Variant> MemoryPropertyBag::values() const {
    std::map<std::string, Variant> out;
    for (const auto& [key, entry] : entries_) out.emplace(entry.name, entry.value);
    return out;
}

}  // namespace pressmark::platform
