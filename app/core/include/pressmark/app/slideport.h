#pragma once
// TSlideport: the program's host of the Slideport control. It creates the
// control by its class identifier, hands it its stored state, activates it in
// place on a host window (windowless when there is none) and calls the four
// members the conversion needs through _DSlideport by DISPID.
//
// Apartment rule: create and call a TSlideport on one thread only.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pressmark/app/slide_exporter.h"
#include "pressmark/imaging/errors.h"
#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"

namespace pressmark {

inline constexpr platform::CLSID CLSID_Slideport = platform::parseGuid("{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}");
inline constexpr platform::IID DIID__DSlideport = platform::parseGuid("{C48B2E17-9F3A-4B6D-A825-6E0D1F7C3B94}");

// How one member of _DSlideport is called: its DISPID, the result type
// (VT_EMPTY for none) and the argument types in order. All are methods.
struct TSlideportCall {
    const char* Name;
    platform::DISPID Dispid;
    platform::VARTYPE Result;
    std::array<platform::VARTYPE, 5> Arguments;
    std::size_t ArgumentCount;
};

inline constexpr TSlideportCall SlideportExportCall{
    "Export", 5, platform::VT_BOOL,
    {platform::VT_BSTR, platform::VT_BSTR, platform::VT_BSTR, platform::VT_I2, platform::VT_I2}, 5};
inline constexpr TSlideportCall SlideportInitControlCall{"InitControl", 6, platform::VT_BOOL, {}, 0};
inline constexpr TSlideportCall SlideportLoadFileCall{"LoadFile", 7, platform::VT_BOOL, {platform::VT_BSTR}, 1};
inline constexpr TSlideportCall SlideportQuitCall{"Quit", 9, platform::VT_EMPTY, {}, 0};

// The state stored with the host for a control of 100 x 50 pixels: version
// 1.0, extent 2646 x 1323 HIMETRIC, no stock properties (little-endian).
inline constexpr std::array<std::byte, 16> SlideportStoredState{
    std::byte{0x00}, std::byte{0x00}, std::byte{0x01}, std::byte{0x00},
    std::byte{0x56}, std::byte{0x0A}, std::byte{0x00}, std::byte{0x00},
    std::byte{0x2B}, std::byte{0x05}, std::byte{0x00}, std::byte{0x00},
    std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00}};

// A failed call of the control: what the control (or the application it
// drives) said went wrong, and where.
class TSlideportError : public Error {
public:
    TSlideportError(std::string member, platform::HRESULT hr, std::string description, std::string source,
                    std::string helpFile = {}, std::uint32_t helpContext = 0);
    platform::HRESULT hresult() const noexcept { return hr_; }
    const std::string& member() const noexcept { return member_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& helpFile() const noexcept { return helpFile_; }
    std::uint32_t helpContext() const noexcept { return helpContext_; }

private:
    std::string member_;
    platform::HRESULT hr_;
    std::string description_, source_, helpFile_;
    std::uint32_t helpContext_;
};

class TSlideport final : public ISlideExporter {
public:
    // Creates the control at once; a class that is not registered or not
    // creatable throws platform::AutomationError (REGDB_E_CLASSNOTREG, ...).
    // `hostWindow` is the X11 window the control is activated on (0: none,
    // windowless); `storedState` is handed to IPersistStreamInit::Load (empty:
    // InitNew).
    explicit TSlideport(platform::HWND hostWindow = 0,
                        std::span<const std::byte> storedState = SlideportStoredState);
    ~TSlideport() override;
    TSlideport(const TSlideport&) = delete;
    TSlideport& operator=(const TSlideport&) = delete;

    bool InitControl() override;
    bool LoadFile(const std::string& strPPTFile) override;
    bool Export(const std::string& strInputPPTFile, const std::string& strOutputDir, const std::string& strOutputType,
                std::int16_t iWidth, std::int16_t iHeight) override;
    void Quit() override;

    // The control object (for tests and for hosts that need more of it).
    const platform::ComPtr<platform::IUnknown>& Control() const noexcept { return control_; }

private:
    class TSite;
    // The dispinterface, activating the control on first use.
    platform::IDispatch* DSlideport();
    void Activate();
    void Deactivate() noexcept;
    platform::Variant Invoke(const TSlideportCall& call, std::span<const platform::Variant> arguments);

    platform::HWND hostWindow_;
    std::vector<std::byte> storedState_;
    platform::ComPtr<platform::IUnknown> control_;
    platform::ComPtr<TSite> site_;
    platform::ComPtr<platform::IDispatch> dispatch_;
    bool active_ = false;
};

// A windowless TSlideport for programs without a window of their own.
std::unique_ptr<ISlideExporter> MakeSlideport();

}  // namespace pressmark
