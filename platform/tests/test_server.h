#pragma once
// Identities of the tiny in-process server the platform tests load.
#include "pressmark/platform/types.h"

namespace pmtest {
using pressmark::platform::parseGuid;
inline constexpr auto CLSID_Calculator = parseGuid("{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607182}");
inline constexpr auto DIID_ICalculator = parseGuid("{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607183}");
inline constexpr auto LIBID_CalculatorLib = parseGuid("{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607184}");
inline constexpr const char* kProgId = "PressmarkTest.Calculator.1";

// DISPIDs of ICalculator.
inline constexpr int DISPID_Add = 1;     // Add(long a, long b) -> long
inline constexpr int DISPID_Scale = 2;   // Scale(short value, [optional] short factor) -> short
inline constexpr int DISPID_Name = 3;    // property Name: BSTR (get/put)
inline constexpr int DISPID_Fail = 4;    // Fail(BSTR why): raises an automation exception
inline constexpr int DISPID_Echo = 5;    // Echo(VARIANT v) -> VARIANT
}  // namespace pmtest
