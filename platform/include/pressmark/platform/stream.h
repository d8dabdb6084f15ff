#pragma once
// In-memory implementations of the persistence interfaces: a byte stream
// (like CreateStreamOnHGlobal) and a property bag, for hosts that keep a
// control's saved state and for tests.
#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"
#include "pressmark/platform/object.h"

namespace pressmark::platform {

// A growable byte stream; the position starts at 0.
class MemoryStream final : public ComObject<IStream> {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::span<const std::byte> initial) : data_(initial.begin(), initial.end()) {}

    const std::vector<std::byte>& bytes() const { return data_; }
    std::uint64_t position() const { return pos_; }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition) override;
    HRESULT SetSize(std::uint64_t libNewSize) override;
    HRESULT Commit(DWORD grfCommitFlags) override;

private:
    std::vector<std::byte> data_;
    std::uint64_t pos_ = 0;
};

// A property bag holding VARIANTs by case-insensitive name.
class MemoryPropertyBag final : public ComObject<IPropertyBag> {
public:
    // Read converts to pVar->vt when that is not VT_EMPTY; a missing name
    // answers E_INVALIDARG.
    HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) override;

    // The stored values by their names as written (UTF-8).
    std::map<std::string, Variant> values() const;

private:
    struct Entry {
        std::string name;
        Variant value;
    };
    std::map<std::string, Entry> entries_;  // key: lower-case name
};

}  // namespace pressmark::platform
