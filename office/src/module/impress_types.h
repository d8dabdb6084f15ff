#pragma once
// Identity and type information of the presentation application module:
// the objects the control calls, with exactly the members and DISPIDs it
// uses.
#include <pressmark/platform/typeinfo.h>

namespace pressmark::office {

namespace pf = ::pressmark::platform;

inline constexpr pf::CLSID CLSID_ImpressApplication = pf::parseGuid("{20B610C3-A4FF-460D-90F4-1D694DD7CADB}");
inline constexpr pf::GUID LIBID_PressmarkImpress = pf::parseGuid("{0542CE4E-28BE-47FD-9003-EB20863B677F}");
inline constexpr pf::IID DIID_Application = pf::parseGuid("{773201A9-0BBD-4219-81CE-A2F91D5B4FDF}");
inline constexpr pf::IID DIID_Presentations = pf::parseGuid("{331FF245-7567-46C0-887F-B9B55A6EAC7C}");
inline constexpr pf::IID DIID_Presentation = pf::parseGuid("{CF98EAF4-D004-4845-A82A-283EBB6F83F4}");
inline constexpr pf::IID DIID_SlideShowSettings = pf::parseGuid("{32E06CA7-6263-4855-B7F7-2B723BC4EA74}");
inline constexpr pf::IID DIID_SlideShowWindow = pf::parseGuid("{E51D09A3-94DD-40E4-961F-9F351B2D6552}");
inline constexpr pf::IID DIID_SlideShowView = pf::parseGuid("{C108A61B-FAB4-4DBF-8BB8-92D585826E38}");
inline constexpr pf::IID DIID_Slides = pf::parseGuid("{39242B30-A7DF-45DD-8E51-2D1A241BD78B}");

// DISPIDs the control calls.
enum ImpressDispid : pf::DISPID {
    kDispSlidesCount = 11,
    kDispPresentations = 2001,
    kDispView = 2003,
    kDispOpen = 2005,
    kDispRun = 2008,
    kDispShowType = 2010,
    kDispSlides = 2011,
    kDispSlideShowSettings = 2015,
    kDispNext = 2019,
    kDispPrevious = 2020,
    kDispQuit = 2021,
    kDispCurrentShowPosition = 2027,
    kDispExport = 2038,
    kDispClose = 2039,
};

// The source named in every automation exception of this module.
inline constexpr const char* kImpressSource = "PowerPoint.Application (LibreOffice Impress)";

const pf::TypeLibDesc& impressTypeLib();
// The ITypeInfo of one of the dispinterfaces above.
pf::ComPtr<pf::ITypeInfo> impressTypeInfo(const pf::IID& iid);

}  // namespace pressmark::office
