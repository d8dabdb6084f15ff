// An in-process server end to end: registration with pmregsvr, creation by
// ProgID and CLSID, dispatch calls checked by the table, type information,
// type-library registration, reference counts and module unloading.
#include <dlfcn.h>
#include <stdio.h>
#include <sys/wait.h>

#include "test_server.h"
#include "test_support.h"

using namespace pressmark::platform;
using namespace pmtest;

namespace {

struct ToolRun {
    int exitCode;
    std::string output;
};

ToolRun runRegsvr(const std::string& arguments) {
    const std::string command = std::string(PM_REGSVR_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string moduleFileNameOfServer() { return std::filesystem::canonical(PM_TEST_SERVER_PATH).string(); }

// The test server's own lock count, through its DllCanUnloadNow.
HRESULT serverCanUnloadNow() {
    void* handle = dlopen(PM_TEST_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return S_OK;  // not loaded at all
    auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    const HRESULT hr = canUnload ? canUnload() : E_FAIL;
    dlclose(handle);
    return hr;
}

class Server : public TempRegistry {
protected:
    void SetUp() override {
        TempRegistry::SetUp();
        const ToolRun run = runRegsvr(std::string("'") + PM_TEST_SERVER_PATH + "'");
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    void TearDown() override {
        EXPECT_EQ(serverCanUnloadNow(), S_OK) << "objects of the test server are still alive";
        TempRegistry::TearDown();
    }

    ComPtr<IDispatch> createCalculator() {
        ComPtr<IDispatch> calc;
        EXPECT_EQ(CoCreateInstance(CLSID_Calculator, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, calc.putVoid()),
                  S_OK);
        return calc;
    }
};

TEST_F(Server, RegistrationWritesClassAndTypeLibraryKeys) {
    const std::string path = moduleFileNameOfServer();
    std::string data;
    EXPECT_EQ(root().querySubKeyValue("CLSID\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607182}\\InprocServer32", &data),
              ERROR_SUCCESS);
    EXPECT_EQ(data, path) << "the full path of the module";
    EXPECT_EQ(root().querySubKeyValue("PressmarkTest.Calculator.1\\CLSID", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607182}");

    const std::string lib = "TypeLib\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607184}\\1.0";
    EXPECT_EQ(root().querySubKeyValue(lib, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "Pressmark test calculator") << "the library's help string";
    EXPECT_EQ(root().querySubKeyValue(lib + "\\0\\win32", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, path);
    EXPECT_EQ(root().querySubKeyValue(lib + "\\FLAGS", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "0");
    EXPECT_EQ(root().querySubKeyValue(lib + "\\HELPDIR", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, std::filesystem::path(path).parent_path().string());

    const std::string iface = "Interface\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607183}";
    EXPECT_EQ(root().querySubKeyValue(iface, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "ICalculator");
    EXPECT_EQ(root().querySubKeyValue(iface + "\\ProxyStubClsid32", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "{00020420-0000-0000-C000-000000000046}");
    RegKey typeLib;
    ASSERT_EQ(root().openSubKey(iface + "\\TypeLib", &typeLib), ERROR_SUCCESS);
    EXPECT_EQ(typeLib.queryValue("Version", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "1.0");

    // Registering twice gives the same file.
    const std::string once = readFile(file());
    ASSERT_EQ(runRegsvr(std::string("/s '") + PM_TEST_SERVER_PATH + "'").exitCode, 0);
    EXPECT_EQ(readFile(file()), once);
}

TEST_F(Server, UnregistrationRemovesEverythingAndRepeatsCleanly) {
    const ToolRun run = runRegsvr(std::string("/u '") + PM_TEST_SERVER_PATH + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("DllUnregisterServer"), std::string::npos) << run.output;
    RegKey key;
    for (const char* gone : {"CLSID\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607182}", "PressmarkTest.Calculator.1",
                             "TypeLib\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607184}",
                             "Interface\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607183}"})
        EXPECT_EQ(root().openSubKey(gone, &key), ERROR_FILE_NOT_FOUND) << gone;
    EXPECT_EQ(runRegsvr(std::string("-u '") + PM_TEST_SERVER_PATH + "'").exitCode, 0)
        << "unregistering what is not registered succeeds";

    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), CO_E_CLASSSTRING);
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(CLSID_Calculator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()),
              REGDB_E_CLASSNOTREG);
}

// What an administrator's registration does for every user: /machine writes
// the machine's file only, creation finds the class through it, the user's
// own unregistration leaves it alone, and /machine /u takes it away.
TEST_F(Server, MachineRegistrationServesEveryUserAndUnregistersCleanly) {
    const std::filesystem::path machine = dir() / "machine" / "classes.reg";
    ::setenv("PRESSMARK_MACHINE_CLASSES_REG", machine.c_str(), 1);
    const std::string module = "'" + std::string(PM_TEST_SERVER_PATH) + "'";
    ASSERT_EQ(runRegsvr("/s /u " + module).exitCode, 0) << "start from a user without the class";
    const std::string userText = readFile(file());

    ToolRun run = runRegsvr("/machine " + module);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find(machine.string()), std::string::npos) << "names the registry written: " << run.output;
    EXPECT_EQ(readFile(file()), userText) << "the user's file was written";
    const RegKey machineAlone = RegKey::classesRoot(machine);
    const std::string classKey = "CLSID\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607182}";
    std::string data;
    ASSERT_EQ(machineAlone.querySubKeyValue(classKey + "\\InprocServer32", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, moduleFileNameOfServer());
    EXPECT_EQ(machineAlone.querySubKeyValue("TypeLib\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607184}\\1.0\\0\\win32", &data),
              ERROR_SUCCESS);
    {
        ComPtr<IDispatch> calc = createCalculator();
        EXPECT_TRUE(calc) << "created through the machine's registration";
    }

    ASSERT_EQ(runRegsvr("/s -u " + module).exitCode, 0) << "the user's unregistration";
    EXPECT_EQ(machineAlone.querySubKeyValue(classKey + "\\InprocServer32", &data), ERROR_SUCCESS)
        << "the user's unregistration reached the machine's file";

    run = runRegsvr("--MACHINE /u " + module);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    RegKey key;
    for (const char* gone : {"CLSID\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607182}", "PressmarkTest.Calculator.1",
                             "TypeLib\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607184}",
                             "Interface\\{6A1F0C3E-2B7D-4E59-8C21-3D4E5F607183}"})
        EXPECT_EQ(RegKey::classesRoot().openSubKey(gone, &key), ERROR_FILE_NOT_FOUND) << gone;
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(CLSID_Calculator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST_F(Server, RegsvrReportsFailuresWithCodeAndText) {
    ToolRun run = runRegsvr("/tmp/no-such-module.so");
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_NE(run.output.find("failed to load"), std::string::npos) << run.output;

    run = runRegsvr("/lib/x86_64-linux-gnu/libm.so.6");
    EXPECT_EQ(run.exitCode, 4) << run.output;
    EXPECT_NE(run.output.find("DllRegisterServer was not found"), std::string::npos) << run.output;

    // A registry that cannot be written: the module's registration fails.
    ::setenv("PRESSMARK_CLASSES_REG", "/dev/null/classes.reg", 1);
    run = runRegsvr(std::string("'") + PM_TEST_SERVER_PATH + "'");
    ::setenv("PRESSMARK_CLASSES_REG", file().c_str(), 1);
    EXPECT_EQ(run.exitCode, 5) << run.output;
    EXPECT_NE(run.output.find("0x80040200"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("type library"), std::string::npos) << run.output;

    EXPECT_EQ(runRegsvr("").exitCode, 1);
}

TEST_F(Server, CreatesByProgIdAndClsidAndCountsReferences) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID("pressmarktest.calculator.1", &clsid), S_OK) << "ProgIDs are case-insensitive";
    EXPECT_EQ(clsid, CLSID_Calculator);
    std::string progId;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_Calculator, &progId), S_OK);
    EXPECT_EQ(progId, kProgId);

    ComPtr<IUnknown> byProgId = createInstance(kProgId);
    ComPtr<IDispatch> byClsid = createCalculator();
    ASSERT_TRUE(byProgId && byClsid);
    EXPECT_NE(static_cast<void*>(byProgId.get()), static_cast<void*>(byClsid.get())) << "a new object per request";
    EXPECT_EQ(OleRun(byProgId.get()), S_OK);

    // QueryInterface: identity, the dispinterface IID, and refusal.
    ComPtr<IUnknown> identity = byClsid.query<IUnknown>();
    ComPtr<IUnknown> identityAgain = identity.query<IProvideClassInfo>().query<IUnknown>();
    EXPECT_EQ(identity.get(), identityAgain.get());
    ComPtr<IDispatch> asDispinterface;
    EXPECT_EQ(byClsid.queryAs(DIID_ICalculator, &asDispinterface), S_OK);
    EXPECT_FALSE(byClsid.query<IStream>());

    EXPECT_EQ(serverCanUnloadNow(), S_FALSE) << "objects are alive";
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Calculator, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.putVoid()),
              S_OK);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(identity.get(), IID_IUnknown, aggregated.putVoid()), CLASS_E_NOAGGREGATION);
    byProgId.reset();
    byClsid.reset();
    identity.reset();
    identityAgain.reset();
    asDispinterface.reset();
    EXPECT_EQ(serverCanUnloadNow(), S_FALSE) << "a client holds the class factory";
    factory->LockServer(TRUE);
    factory.reset();
    EXPECT_EQ(serverCanUnloadNow(), S_FALSE) << "the server is locked";

    // Unloading keeps a locked module and drops it once unlocked.
    const std::size_t loaded = loadedModuleCount();
    CoFreeUnusedLibraries();
    EXPECT_EQ(loadedModuleCount(), loaded);
    ASSERT_EQ(CoGetClassObject(CLSID_Calculator, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.putVoid()),
              S_OK);
    factory->LockServer(FALSE);
    factory.reset();
    EXPECT_EQ(serverCanUnloadNow(), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_EQ(loadedModuleCount(), loaded - 1);
}

TEST_F(Server, UnregisteredClassesAndBrokenRegistrationsFailClearly) {
    const CLSID unknown = parseGuid("{00000000-1111-2222-3333-444444444444}");
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, object.putVoid()), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object.get(), nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_Calculator, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.putVoid()),
              REGDB_E_CLASSNOTREG)
        << "only in-process servers exist";
    try {
        createInstance(unknown);
        FAIL() << "no exception";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.hresult(), REGDB_E_CLASSNOTREG);
        EXPECT_NE(std::string(e.what()).find("Class not registered"), std::string::npos) << e.what();
    }

    // A class registered to the module that the module does not serve.
    const CLSID notServed = LIBID_CalculatorLib;
    ASSERT_EQ(root().setSubKeyValue("CLSID\\" + formatGuid(notServed) + "\\InprocServer32", moduleFileNameOfServer()),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(notServed, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()),
              CLASS_E_CLASSNOTAVAILABLE);

    // A module that is gone.
    ASSERT_EQ(root().setSubKeyValue("CLSID\\" + formatGuid(unknown) + "\\InprocServer32", "/tmp/gone/x.OCX"),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.putVoid()),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    try {
        createInstance(unknown);
        FAIL() << "no exception";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("/tmp/gone/x.OCX"), std::string::npos) << e.what();
    }
    EXPECT_THROW(createInstance("No.Such.ProgId"), AutomationError);
}

TEST_F(Server, InvokeChecksArgumentsLikeWindows) {
    ComPtr<IDispatch> calc = createCalculator();
    ASSERT_TRUE(calc);
    const Variant one(LONG{1});
    const Variant two(LONG{2});
    const Variant text("x");

    struct Case {
        const char* name;
        DISPID dispid;
        WORD flags;
        std::vector<Variant> args;  // natural order
        HRESULT hr;
        UINT argErr;  // checked for DISP_E_TYPEMISMATCH (rgvarg index)
    };
    const Case cases[] = {
        {"unknown DISPID", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 0},
        {"property called as a method", DISPID_Name, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 0},
        {"too few arguments", DISPID_Add, DISPATCH_METHOD, {one}, DISP_E_BADPARAMCOUNT, 0},
        {"too many arguments", DISPID_Add, DISPATCH_METHOD, {one, two, two}, DISP_E_BADPARAMCOUNT, 0},
        // Natural order ("x", 1) is rgvarg [1, "x"]: the bad one is index 1.
        {"first argument not a number", DISPID_Add, DISPATCH_METHOD, {text, one}, DISP_E_TYPEMISMATCH, 1},
        {"second argument not a number", DISPID_Add, DISPATCH_METHOD, {one, text}, DISP_E_TYPEMISMATCH, 0},
        // Parameters are checked in declaration order: the first one is reported.
        {"neither argument a number", DISPID_Add, DISPATCH_METHOD, {text, Variant("y")}, DISP_E_TYPEMISMATCH, 1},
        {"number too large for a short", DISPID_Scale, DISPATCH_METHOD, {Variant(LONG{70000})}, DISP_E_TYPEMISMATCH, 0},
        {"required argument marked missing", DISPID_Add, DISPATCH_METHOD,
         {one, Variant::error(DISP_E_PARAMNOTFOUND)}, DISP_E_PARAMNOTOPTIONAL, 0},
        {"numbers as strings convert", DISPID_Add, DISPATCH_METHOD, {Variant("40"), one}, S_OK, 0},
        {"get and method flags together", DISPID_Add, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {one, two}, S_OK, 0},
    };
    for (const Case& c : cases) {
        Variant result;
        ExcepInfo info;
        UINT argErr = 12345;
        EXPECT_EQ(invokeRaw(calc.get(), c.dispid, c.flags, c.args, &result, &info, &argErr), c.hr) << c.name;
        if (c.hr == DISP_E_TYPEMISMATCH) {
            EXPECT_EQ(argErr, c.argErr) << c.name;
        }
    }

    EXPECT_EQ(invokeMethod(calc.get(), DISPID_Add, {Variant("40"), Variant(SHORT{2})}).lVal, 42);
    const Variant scaled = invokeMethod(calc.get(), DISPID_Scale, {Variant(SHORT{21})});
    EXPECT_EQ(scaled.vt, VT_I2) << "the result has the declared type";
    EXPECT_EQ(scaled.iVal, 42) << "the optional factor defaults";
    EXPECT_EQ(invokeMethod(calc.get(), DISPID_Scale, {Variant(SHORT{5}), Variant(SHORT{3})}).iVal, 15);
    EXPECT_EQ(getProperty(calc.get(), DISPID_Name).toUtf8(), "calc");
    putProperty(calc.get(), DISPID_Name, Variant("Rechner ✓"));
    EXPECT_EQ(getProperty(calc.get(), DISPID_Name).toUtf8(), "Rechner ✓");
    const Variant echoed = invokeMethod(calc.get(), DISPID_Echo, {Variant::boolean(true)});
    EXPECT_EQ(echoed.vt, VT_BOOL) << "a VARIANT parameter passes unconverted";

    // A put without the DISPID_PROPERTYPUT named argument is refused.
    Variant value("y");
    DISPPARAMS params{&value, nullptr, 1, 0};
    EXPECT_EQ(calc->Invoke(DISPID_Name, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(calc->Invoke(DISPID_Add, IID_IDispatch, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Server, ExceptionsTravelAsExcepInfo) {
    ComPtr<IDispatch> calc = createCalculator();
    Variant result;
    ExcepInfo info;
    EXPECT_EQ(invokeRaw(calc.get(), DISPID_Fail, DISPATCH_METHOD, std::vector<Variant>{Variant("disk full")}, &result,
                        &info, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.source(), "PressmarkTest.Calculator");
    EXPECT_EQ(info.description(), "Calculator failed: disk full");
    EXPECT_EQ(info.scode, E_FAIL);
    try {
        invokeMethod(calc.get(), DISPID_Fail, {Variant("again")});
        FAIL() << "no exception";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.hresult(), E_FAIL);
        EXPECT_EQ(e.source(), "PressmarkTest.Calculator");
        EXPECT_STREQ(e.what(), "Calculator failed: again");
    }
}

TEST_F(Server, NamesAndTypeInformation) {
    ComPtr<IDispatch> calc = createCalculator();
    EXPECT_EQ(dispidOf(calc.get(), "aDD"), DISPID_Add) << "names are case-insensitive";
    EXPECT_EQ(dispidOf(calc.get(), "NAME"), DISPID_Name);

    const std::u16string member = u"scale", param = u"FACTOR", bogus = u"nope";
    LPCOLESTR names[] = {member.c_str(), param.c_str()};
    DISPID ids[2] = {0, 0};
    ASSERT_EQ(calc->GetIDsOfNames(IID_NULL, names, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], DISPID_Scale);
    EXPECT_EQ(ids[1], 1) << "a parameter's DISPID is its position";
    LPCOLESTR unknown[] = {bogus.c_str()};
    EXPECT_EQ(calc->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);

    // Named arguments by those DISPIDs.
    Variant args[2] = {Variant(SHORT{4}), Variant(SHORT{10})};  // factor (named), value (positional)
    DISPID named[1] = {1};
    DISPPARAMS params{args, named, 2, 1};
    Variant result;
    ASSERT_EQ(calc->Invoke(DISPID_Scale, IID_NULL, 0, DISPATCH_METHOD, &params, result.out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(result.iVal, 40);

    UINT count = 0;
    ASSERT_EQ(calc->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(calc->GetTypeInfo(0, 0, info.put()), S_OK);
    BSTR memberNames[4] = {};
    UINT got = 0;
    ASSERT_EQ(info->GetNames(DISPID_Add, memberNames, 4, &got), S_OK);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(bstrView(memberNames[0]), u"Add");
    EXPECT_EQ(bstrView(memberNames[2]), u"b");
    for (UINT i = 0; i < got; ++i) SysFreeString(memberNames[i]);
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(1, &desc), S_OK);
    EXPECT_EQ(desc->memid, DISPID_Scale);
    EXPECT_EQ(desc->cParams, 2);
    EXPECT_EQ(desc->cParamsOpt, 1);
    EXPECT_EQ(desc->lprgvtParams[0], VT_I2);
    EXPECT_EQ(desc->vtReturn, VT_I2);
    info->ReleaseFuncDesc(desc);

    // The coclass through IProvideClassInfo: its default interface.
    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(calc.query<IProvideClassInfo>()->GetClassInfo(classInfo.put()), S_OK);
    HREFTYPE ref = 0;
    ASSERT_EQ(classInfo->GetRefTypeOfImplType(0, &ref), S_OK);
    INT flags = 0;
    ASSERT_EQ(classInfo->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ComPtr<ITypeInfo> defaultInterface;
    ASSERT_EQ(classInfo->GetRefTypeInfo(ref, defaultInterface.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(defaultInterface->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, DIID_ICalculator);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    defaultInterface->ReleaseTypeAttr(attr);

    // The registered type library loads by LIBID.
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadRegTypeLib(LIBID_CalculatorLib, 1, 0, 0, lib.put()), S_OK);
    EXPECT_EQ(lib->GetTypeInfoCount(), 2u);
    EXPECT_EQ(LoadRegTypeLib(LIBID_CalculatorLib, 2, 0, 0, lib.put()), TYPE_E_LIBNOTREGISTERED);
}

}  // namespace
