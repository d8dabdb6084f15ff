// GUID text form and the system message texts of HRESULTs.
#include <cstdio>
#include <unordered_map>

#include "pressmark/platform/types.h"

namespace pressmark::platform {

std::string formatGuid(const GUID& g) {
    char text[kGuidTextLength + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string formatHresult(HRESULT hr) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

namespace {

// Windows' English message texts (FormatMessage, system table). Win32 codes
// are keyed by their HRESULT_FROM_WIN32 form.
const std::unordered_map<HRESULT, const char*>& messageTable() {
    static const std::unordered_map<HRESULT, const char*> table{
        {S_OK, "The operation completed successfully."},
        {S_FALSE, "Incorrect function."},
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_ABORT, "Operation aborted"},
        {E_FAIL, "Unspecified error"},
        {E_UNEXPECTED, "Catastrophic failure"},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
        {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
        {REGDB_E_READREGDB, "Could not read key from registry"},
        {REGDB_E_WRITEREGDB, "Could not write key to registry"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {OLE_E_NOTRUNNING, "Object is not running"},
        {OLEOBJ_E_NOVERBS, "Object has no verbs"},
        {OLEOBJ_E_INVALIDVERB, "Invalid verb for OLE object"},
        {SELFREG_E_TYPELIB, "The server could not register or unregister its type library"},
        {SELFREG_E_CLASS, "The server could not register or unregister one of its classes"},
        {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
        {CO_E_CLASSSTRING, "Invalid class string"},
        {CO_E_DLLNOTFOUND, "DLL for class not found"},
        {CO_E_ERRORINDLL, "Error in the DLL"},
        {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
        {DISP_E_MEMBERNOTFOUND, "Member not found."},
        {DISP_E_PARAMNOTFOUND, "Parameter not found."},
        {DISP_E_TYPEMISMATCH, "Type mismatch."},
        {DISP_E_UNKNOWNNAME, "Unknown name."},
        {DISP_E_NONAMEDARGS, "No named arguments."},
        {DISP_E_BADVARTYPE, "Bad variable type."},
        {DISP_E_EXCEPTION, "Exception occurred."},
        {DISP_E_OVERFLOW, "Out of present range."},
        {DISP_E_BADINDEX, "Invalid index."},
        {DISP_E_UNKNOWNLCID, "Unknown language."},
        {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
        {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
        {TYPE_E_REGISTRYACCESS, "Error accessing the OLE registry."},
        {TYPE_E_LIBNOTREGISTERED, "Library not registered."},
        {TYPE_E_ELEMENTNOTFOUND, "Element not found."},
        {TYPE_E_CANTLOADLIBRARY, "Error loading type library/DLL."},
        {STG_E_INVALIDFUNCTION, "Unable to perform requested operation."},
        {STG_E_INVALIDPOINTER, "Invalid pointer error."},
        {STG_E_WRITEFAULT, "A disk error occurred during a write operation."},
        {STG_E_READFAULT, "A disk error occurred during a read operation."},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified."},
        {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "Access is denied."},
        {HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE), "The handle is invalid."},
        {HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY), "Not enough storage is available to complete this operation."},
        {HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), "The parameter is incorrect."},
        {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "The specified module could not be found."},
        {HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "The specified procedure could not be found."},
        {HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS), "No more data is available."},
        {HRESULT_FROM_WIN32(ERROR_BADDB), "The configuration registry database is corrupt."},
        {HRESULT_FROM_WIN32(ERROR_BADKEY), "The configuration registry key is invalid."},
        {HRESULT_FROM_WIN32(ERROR_CANTOPEN), "The configuration registry key could not be opened."},
        {HRESULT_FROM_WIN32(ERROR_CANTREAD), "The configuration registry key could not be read."},
        {HRESULT_FROM_WIN32(ERROR_CANTWRITE), "The configuration registry key could not be written."},
        {HRESULT_FROM_WIN32(ERROR_KEY_DELETED),
         "Illegal operation attempted on a registry key that has been marked for deletion."},
    };
    return table;
}

}  // namespace

std::string hresultMessage(HRESULT hr) {
    // A bare Win32 code (positive, small) means the same as its HRESULT form.
    const HRESULT key = (hr > 1 && hr <= 0xFFFF) ? HRESULT_FROM_WIN32(hr) : hr;
    const auto& table = messageTable();
    if (auto it = table.find(key); it != table.end()) return it->second;
    return "Unknown error " + formatHresult(hr);
}

}  // namespace pressmark::platform
