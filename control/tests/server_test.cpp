// The module as an in-process server: its registry entries, class objects, unloading and the
// control's saved state.
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "slideport_fixture.h"

namespace pressmark::control::testing {
namespace {

using namespace pressmark::platform;

const std::string kControlKey = "CLSID\\{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}";
const std::string kPropPageKey = "CLSID\\{1A6D8F53-4E2C-47B9-8C15-D93E0B72A4F6}";
const std::string kProgId = "SLIDEPORT.SlideportCtrl.1";
const std::string kTypeLibKey = "TypeLib\\{7D1E9B42-A6C3-4F58-B0D7-29E4C8A1F635}";
const std::string kDispatchKey = "Interface\\{C48B2E17-9F3A-4B6D-A825-6E0D1F7C3B94}";
const std::string kEventsKey = "Interface\\{E93F5A26-2C7B-4E81-9D40-B5A7163C8F2E}";

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool keyExists(const std::string& key) {
  RegKey opened;
  return RegKey::classesRoot().openSubKey(key, &opened) == ERROR_SUCCESS;
}

class ServerTest : public ::testing::Test {
 protected:
  void register_() { ASSERT_EQ(registerModule(SLIDEPORT_MODULE_PATH), S_OK); }
  void unregister_() { ASSERT_EQ(unregisterModule(SLIDEPORT_MODULE_PATH), S_OK); }

  TempRegistry registry_;
  const std::string modulePath_ = std::filesystem::canonical(SLIDEPORT_MODULE_PATH).string();
};

TEST_F(ServerTest, RegistrationWritesTheClassEntries) {
  register_();
  struct Entry {
    std::string key;
    std::string name;
    std::string data;
  };
  const std::vector<Entry> expected = {
      {kProgId, "", "Slideport ActiveX Control"},
      {kProgId + "\\CLSID", "", "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}"},
      {kControlKey, "", "Slideport ActiveX Control"},
      {kControlKey + "\\ProgID", "", kProgId},
      {kControlKey + "\\InprocServer32", "", modulePath_},
      {kControlKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kControlKey + "\\ToolboxBitmap32", "", modulePath_ + ", 1"},
      {kControlKey + "\\MiscStatus", "", "0"},
      {kControlKey + "\\MiscStatus\\1", "", "131473"},
      {kControlKey + "\\Control", "", ""},
      {kControlKey + "\\TypeLib", "", "{7D1E9B42-A6C3-4F58-B0D7-29E4C8A1F635}"},
      {kControlKey + "\\Version", "", "1.0"},
      {kPropPageKey, "", "Slideport Property Page"},
      {kPropPageKey + "\\InprocServer32", "", modulePath_},
      {kTypeLibKey + "\\1.0", "", "Slideport ActiveX Control"},
      {kTypeLibKey + "\\1.0\\0\\win32", "", modulePath_},
  };
  const RegKey root = RegKey::classesRoot();
  for (const Entry& e : expected) {
    RegKey key;
    ASSERT_EQ(root.openSubKey(e.key, &key), ERROR_SUCCESS) << e.key;
    std::string data;
    ASSERT_EQ(key.queryValue(e.name, &data), ERROR_SUCCESS) << e.key << " " << e.name;
    EXPECT_EQ(data, e.data) << e.key << " " << e.name;
  }
  // The property page has neither ProgID nor threading model.
  EXPECT_FALSE(keyExists(kPropPageKey + "\\ProgID"));
  RegKey pageServer;
  ASSERT_EQ(root.openSubKey(kPropPageKey + "\\InprocServer32", &pageServer), ERROR_SUCCESS);
  std::string model;
  EXPECT_EQ(pageServer.queryValue("ThreadingModel", &model), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(keyExists(kDispatchKey));
  EXPECT_TRUE(keyExists(kEventsKey));
}

TEST_F(ServerTest, RegisteringTwiceGivesTheSameEntries) {
  register_();
  const std::string once = readFile(registry_.file());
  // A stale value is overwritten, not kept.
  ASSERT_EQ(RegKey::classesRoot().setSubKeyValue(kControlKey + "\\InprocServer32", "/old/path"),
            ERROR_SUCCESS);
  register_();
  EXPECT_EQ(readFile(registry_.file()), once);
}

TEST_F(ServerTest, UnregisteringRemovesEverythingAndNothingIsFine) {
  unregister_();  // nothing registered yet
  register_();
  unregister_();
  for (const std::string& key :
       {kControlKey, kPropPageKey, kProgId, kTypeLibKey, kDispatchKey, kEventsKey}) {
    EXPECT_FALSE(keyExists(key)) << key;
  }
  unregister_();
}

TEST_F(ServerTest, SixteenBitServerKeepsTheClassKeyAndProgId) {
  register_();
  ASSERT_EQ(RegKey::classesRoot().setSubKeyValue(kControlKey + "\\InprocServer", "SLIDEP16.OCX"),
            ERROR_SUCCESS);
  unregister_();
  EXPECT_TRUE(keyExists(kControlKey + "\\InprocServer"));
  EXPECT_TRUE(keyExists(kControlKey + "\\ProgID"));
  EXPECT_TRUE(keyExists(kProgId));
  EXPECT_FALSE(keyExists(kControlKey + "\\InprocServer32"));
  EXPECT_FALSE(keyExists(kControlKey + "\\ToolboxBitmap32"));
  EXPECT_FALSE(keyExists(kPropPageKey));
}

TEST_F(ServerTest, TypeLibraryOfA16BitServerIsKept) {
  register_();
  ASSERT_EQ(RegKey::classesRoot().setSubKeyValue(kTypeLibKey + "\\1.0\\0\\win16", "SLIDEP16.TLB"),
            ERROR_SUCCESS);
  unregister_();
  EXPECT_TRUE(keyExists(kTypeLibKey + "\\1.0\\0\\win16"));
  EXPECT_FALSE(keyExists(kTypeLibKey + "\\1.0\\0\\win32"));
  // Only the 16-bit library is left, which this platform cannot load: the interfaces go.
  EXPECT_FALSE(keyExists(kDispatchKey));
}

TEST_F(ServerTest, ClassObjectsOnlyForTheTwoClasses) {
  const auto getClassObject =
      moduleEntry<DllGetClassObjectFunction>(SLIDEPORT_MODULE_PATH, "DllGetClassObject");
  for (const GUID& other : {LIBID_SLIDEPORTLib, DIID__DSlideport, DIID__DSlideportEvents}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(other, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE)
        << formatGuid(other);
    EXPECT_EQ(object, nullptr);
  }
  for (const GUID& clsid : {CLSID_Slideport, CLSID_SlideportPropPage}) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(clsid, IID_IClassFactory, factory.putVoid()), S_OK);
    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.putVoid()), S_OK);
    ComPtr<IPersist> persist = object.query<IPersist>();
    ASSERT_TRUE(persist);
    CLSID reported{};
    ASSERT_EQ(persist->GetClassID(&reported), S_OK);
    EXPECT_EQ(reported, clsid);
  }
}

TEST_F(ServerTest, CanUnloadOnlyWhenNothingIsHeld) {
  register_();
  const auto canUnload =
      moduleEntry<DllCanUnloadNowFunction>(SLIDEPORT_MODULE_PATH, "DllCanUnloadNow");
  const auto getClassObject =
      moduleEntry<DllGetClassObjectFunction>(SLIDEPORT_MODULE_PATH, "DllGetClassObject");
  EXPECT_EQ(canUnload(), S_OK);
  {
    ComPtr<IDispatch> control;
    ASSERT_EQ(CoCreateInstance(CLSID_Slideport, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               control.putVoid()),
              S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
  }
  EXPECT_EQ(canUnload(), S_OK);
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_Slideport, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE) << "a client holds the class object";
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "locked";
    ASSERT_EQ(getClassObject(CLSID_Slideport, IID_IClassFactory, factory.putVoid()), S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  }
  EXPECT_EQ(canUnload(), S_OK);
}

// ---- saved state --------------------------------------------------------------------------

class SavedStateTest : public ServerTest {
 protected:
  void SetUp() override {
    register_();
    ASSERT_EQ(CoCreateInstance(CLSID_Slideport, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IPersistStreamInit, control_.putVoid()),
              S_OK);
  }
  ComPtr<IPersistStreamInit> control_;
};

std::vector<std::byte> bytes(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) out.push_back(std::byte(v));
  return out;
}

const std::vector<std::byte> kFreshState =
    bytes({0x00, 0x00, 0x01, 0x00, 0x56, 0x0A, 0x00, 0x00, 0x2B, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});

TEST_F(SavedStateTest, FreshControlSavesSixteenBytes) {
  ASSERT_EQ(control_->InitNew(), S_OK);
  ComPtr<MemoryStream> stream = makeObject<MemoryStream>();
  ASSERT_EQ(control_->Save(stream.get(), TRUE), S_OK);
  EXPECT_EQ(stream->bytes(), kFreshState);
  std::uint64_t size = 0;
  ASSERT_EQ(control_->GetSizeMax(&size), S_OK);
  EXPECT_EQ(size, 16u);
}

TEST_F(SavedStateTest, LoadTakesTheExtentAndReadsNoFurther) {
  // Extent 1000 x 500 HIMETRIC, then bytes that belong to the container.
  const std::vector<std::byte> saved =
      bytes({0x00, 0x00, 0x01, 0x00, 0xE8, 0x03, 0x00, 0x00, 0xF4, 0x01, 0x00, 0x00, 0x00, 0x00,
             0x00, 0x00, 0xDE, 0xAD, 0xBE, 0xEF});
  ComPtr<MemoryStream> stream = makeObject<MemoryStream>(saved);
  ASSERT_EQ(control_->Load(stream.get()), S_OK);
  EXPECT_EQ(stream->position(), 16u);
  ComPtr<IOleObject> object = control_.query<IOleObject>();
  SIZEL extent{};
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 1000);
  EXPECT_EQ(extent.cy, 500);

  ComPtr<MemoryStream> longer = makeObject<MemoryStream>(
      std::vector<std::byte>(kFreshState.begin(), kFreshState.end()));
  for (int i = 0; i < 4; ++i) ASSERT_EQ(longer->Write("\x01", 1, nullptr), S_OK);
  ASSERT_EQ(longer->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(control_->Load(longer.get()), S_OK);
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 2646);
  EXPECT_EQ(extent.cy, 1323);
}

TEST_F(SavedStateTest, TruncatedStateIsRefused) {
  ComPtr<MemoryStream> stream = makeObject<MemoryStream>(
      std::vector<std::byte>(kFreshState.begin(), kFreshState.begin() + 10));
  EXPECT_TRUE(FAILED(control_->Load(stream.get())));
}

TEST_F(SavedStateTest, PropertyBagUsesTheFourNames) {
  ComPtr<IPersistPropertyBag> bagPersist = control_.query<IPersistPropertyBag>();
  ASSERT_TRUE(bagPersist);
  ASSERT_EQ(bagPersist->InitNew(), S_OK);
  ComPtr<MemoryPropertyBag> bag = makeObject<MemoryPropertyBag>();
  ASSERT_EQ(bagPersist->Save(bag.get(), TRUE, TRUE), S_OK);
  const auto values = bag->values();
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(values.at("_Version").toLong(), 0x00010000);
  EXPECT_EQ(values.at("_ExtentX").toLong(), 2646);
  EXPECT_EQ(values.at("_ExtentY").toLong(), 1323);
  EXPECT_EQ(values.at("_StockProps").toLong(), 0);

  ComPtr<MemoryPropertyBag> other = makeObject<MemoryPropertyBag>();
  Variant x(LONG{5000});
  Variant y(LONG{2500});
  ASSERT_EQ(other->Write(u"_ExtentX", &x), S_OK);
  ASSERT_EQ(other->Write(u"_ExtentY", &y), S_OK);
  ASSERT_EQ(bagPersist->Load(other.get(), nullptr), S_OK);
  SIZEL extent{};
  ASSERT_EQ(control_.query<IOleObject>()->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 5000);
  EXPECT_EQ(extent.cy, 2500);
}

}  // namespace
}  // namespace pressmark::control::testing
