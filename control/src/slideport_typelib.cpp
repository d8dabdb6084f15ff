#include "slideport_typelib.h"

#include "pressmark/control/slideport_ids.h"

namespace pressmark::control {

using namespace pressmark::platform;

const TypeLibDesc& slideportTypeLibDesc() {
  static const TypeLibDesc lib{
      .name = "SLIDEPORTLib",
      .libid = LIBID_SLIDEPORTLib,
      .majorVersion = 1,
      .minorVersion = 0,
      .lcid = LOCALE_NEUTRAL,
      .libFlags = LIBFLAG_FCONTROL,
      .helpString = "Slideport ActiveX Control",
      .helpFile = "Slideport.hlp",
      .helpContext = 0,
      .types = {
          {.kind = TKIND_DISPATCH,
           .name = "_DSlideport",
           .guid = DIID__DSlideport,
           .helpString = "Dispatch interface for Slideport Control",
           .flags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE,
           .members =
               {
                   {.dispid = dispidNext, .name = "Next"},
                   {.dispid = dispidPrevious, .name = "Previous"},
                   {.dispid = dispidGetCurrentSlideNo, .name = "GetCurrentSlideNo", .result = VT_I2},
                   {.dispid = dispidExport,
                    .name = "Export",
                    .params = {{"strInputPPTFile", VT_BSTR},
                               {"strOutputDir", VT_BSTR},
                               {"strOutputType", VT_BSTR},
                               {"iWidth", VT_I2},
                               {"iHeight", VT_I2}},
                    .result = VT_BOOL},
                   {.dispid = dispidInitControl, .name = "InitControl", .result = VT_BOOL},
                   {.dispid = dispidLoadFile,
                    .name = "LoadFile",
                    .params = {{"strPPTFile", VT_BSTR}},
                    .result = VT_BOOL},
                   {.dispid = dispidGetSlideCount, .name = "GetSlideCount", .result = VT_I2},
                   {.dispid = dispidQuit, .name = "Quit"},
                   {.dispid = dispidAboutBox, .name = "AboutBox"},
               }},
          {.kind = TKIND_DISPATCH,
           .name = "_DSlideportEvents",
           .guid = DIID__DSlideportEvents,
           .helpString = "Event interface for Slideport Control",
           .flags = TYPEFLAG_FDISPATCHABLE},
          {.kind = TKIND_COCLASS,
           .name = "Slideport",
           .guid = CLSID_Slideport,
           .helpString = "Slideport Control",
           .flags = TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL,
           .implTypes = {{DIID__DSlideport, IMPLTYPEFLAG_FDEFAULT},
                         {DIID__DSlideportEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}}},
      }};
  return lib;
}

ComPtr<ITypeLib> slideportTypeLib() { return makeTypeLib(slideportTypeLibDesc()); }

}  // namespace pressmark::control
