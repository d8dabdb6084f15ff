#include "impress_types.h"

namespace pressmark::office {

using namespace pf;

const TypeLibDesc& impressTypeLib() {
    static const TypeLibDesc lib{
        .name = "PressmarkImpress",
        .libid = LIBID_PressmarkImpress,
        .majorVersion = 1,
        .minorVersion = 0,
        .helpString = "Pressmark presentation application (LibreOffice Impress)",
        .types = {
            {.kind = TKIND_DISPATCH, .name = "Application", .guid = DIID_Application,
             .members = {{.dispid = kDispPresentations, .name = "Presentations",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_DISPATCH},
                         {.dispid = kDispQuit, .name = "Quit"}}},
            {.kind = TKIND_DISPATCH, .name = "Presentations", .guid = DIID_Presentations,
             .members = {{.dispid = kDispOpen, .name = "Open",
                          .params = {{"FileName", VT_BSTR},
                                     {"ReadOnly", VT_I4, true},
                                     {"Untitled", VT_I4, true},
                                     {"WithWindow", VT_I4, true}},
                          .result = VT_DISPATCH}}},
            {.kind = TKIND_DISPATCH, .name = "Presentation", .guid = DIID_Presentation,
             .members = {{.dispid = kDispSlides, .name = "Slides",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_DISPATCH},
                         {.dispid = kDispSlideShowSettings, .name = "SlideShowSettings",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_DISPATCH},
                         {.dispid = kDispExport, .name = "Export",
                          .params = {{"Path", VT_BSTR},
                                     {"FilterName", VT_BSTR},
                                     {"ScaleWidth", VT_I4, true},
                                     {"ScaleHeight", VT_I4, true}}},
                         {.dispid = kDispClose, .name = "Close"}}},
            {.kind = TKIND_DISPATCH, .name = "SlideShowSettings", .guid = DIID_SlideShowSettings,
             .members = {{.dispid = kDispShowType, .name = "ShowType",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_I4},
                         {.dispid = kDispShowType, .name = "ShowType",
                          .invokeKind = INVOKE_PROPERTYPUT, .params = {{"ShowType", VT_I4}}},
                         {.dispid = kDispRun, .name = "Run", .result = VT_DISPATCH}}},
            {.kind = TKIND_DISPATCH, .name = "SlideShowWindow", .guid = DIID_SlideShowWindow,
             .members = {{.dispid = kDispView, .name = "View",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_DISPATCH}}},
            {.kind = TKIND_DISPATCH, .name = "SlideShowView", .guid = DIID_SlideShowView,
             .members = {{.dispid = kDispNext, .name = "Next"},
                         {.dispid = kDispPrevious, .name = "Previous"},
                         {.dispid = kDispCurrentShowPosition, .name = "CurrentShowPosition",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_I4}}},
            {.kind = TKIND_DISPATCH, .name = "Slides", .guid = DIID_Slides,
             .members = {{.dispid = kDispSlidesCount, .name = "Count",
                          .invokeKind = INVOKE_PROPERTYGET, .result = VT_I4}}},
            {.kind = TKIND_COCLASS, .name = "Application", .guid = CLSID_ImpressApplication,
             .implTypes = {{DIID_Application, IMPLTYPEFLAG_FDEFAULT}}},
        }};
    return lib;
}

ComPtr<ITypeInfo> impressTypeInfo(const IID& iid) {
    // Built for each object, not kept: a library held for good would count
    // as a live object of this module and keep it from ever unloading.
    return typeInfoOf(makeTypeLib(impressTypeLib()).get(), iid);
}

}  // namespace pressmark::office
