// Identity of the Slideport control as its hosts see it: class identifiers, the type library,
// the dispatch interfaces and the DISPIDs of _DSlideport. Hosts call the control by these
// numbers only, so they never change.
#pragma once

#include "pressmark/platform/types.h"

namespace pressmark::control {

inline constexpr platform::CLSID CLSID_Slideport =
    platform::parseGuid("{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}");
inline constexpr platform::CLSID CLSID_SlideportPropPage =
    platform::parseGuid("{1A6D8F53-4E2C-47B9-8C15-D93E0B72A4F6}");
inline constexpr platform::GUID LIBID_SLIDEPORTLib =
    platform::parseGuid("{7D1E9B42-A6C3-4F58-B0D7-29E4C8A1F635}");
inline constexpr platform::IID DIID__DSlideport =
    platform::parseGuid("{C48B2E17-9F3A-4B6D-A825-6E0D1F7C3B94}");
inline constexpr platform::IID DIID__DSlideportEvents =
    platform::parseGuid("{E93F5A26-2C7B-4E81-9D40-B5A7163C8F2E}");

inline constexpr const char* kSlideportProgId = "SLIDEPORT.SlideportCtrl.1";
inline constexpr const char* kSlideportModuleName = "Slideport.OCX";

// Members of _DSlideport. The numbering starts at 2 and hosts rely on it.
enum SlideportDispId : platform::DISPID {
  dispidNext = 2,
  dispidPrevious = 3,
  dispidGetCurrentSlideNo = 4,
  dispidExport = 5,
  dispidInitControl = 6,
  dispidLoadFile = 7,
  dispidGetSlideCount = 8,
  dispidQuit = 9,
  dispidAboutBox = -552,
};

}  // namespace pressmark::control
