// Shared set-up of the control's tests: a registry file of their own, the Slideport module and
// the test presentation application registered in it, a created control, and a way to call it
// by DISPID as a host does.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "fake_presentation_app.h"
#include "pressmark/control/slideport_ids.h"
#include "pressmark/platform/com.h"

namespace pressmark::control::testing {

namespace pf = pressmark::platform;

// Points PRESSMARK_CLASSES_REG at a file in a new temporary folder for the object's lifetime,
// so that no test ever reads or writes the user's registry.
class TempRegistry {
 public:
  TempRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "slideport-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temp folder");
    folder_ = pattern;
    ::setenv("PRESSMARK_CLASSES_REG", file().c_str(), 1);
  }
  ~TempRegistry() {
    ::unsetenv("PRESSMARK_CLASSES_REG");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  std::filesystem::path file() const { return folder_ / "classes.reg"; }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

template <class F>
F moduleEntry(const char* path, const char* name) {
  std::string error;
  void* symbol = pf::findModuleSymbol(path, name, &error);
  if (symbol == nullptr) throw std::runtime_error(std::string(name) + ": " + error);
  return reinterpret_cast<F>(symbol);
}

inline FakeAppLog& fakeAppLog() {
  return *moduleEntry<FakeAppLog* (*)()>(FAKE_APP_MODULE_PATH, "PressmarkFakeAppLog")();
}

inline pf::HRESULT registerModule(const char* path) {
  return moduleEntry<pf::DllRegisterServerFunction>(path, "DllRegisterServer")();
}
inline pf::HRESULT unregisterModule(const char* path) {
  return moduleEntry<pf::DllUnregisterServerFunction>(path, "DllUnregisterServer")();
}

// What a host sees of one Invoke.
struct CallResult {
  pf::HRESULT hr = 0;
  pf::Variant result;
  pf::UINT argErr = 0xFFFFFFFF;
  pf::WORD code = 0;
  std::string source;
  std::string description;
  std::string helpFile;
  pf::DWORD helpContext = 0;
  pf::SCODE scode = 0;
};

// Calls `dispid` as a method with `args` in natural order.
inline CallResult invoke(pf::IDispatch* object, pf::DISPID dispid,
                         std::vector<pf::Variant> args = {}) {
  std::vector<pf::Variant> reversed(args.rbegin(), args.rend());
  pf::DISPPARAMS params{reversed.empty() ? nullptr : static_cast<pf::VARIANT*>(reversed.data()),
                        nullptr, static_cast<pf::UINT>(reversed.size()), 0};
  CallResult call;
  pf::ExcepInfo info;
  call.hr = object->Invoke(dispid, pf::IID_NULL, 0, pf::DISPATCH_METHOD, &params,
                           call.result.out(), &info, &call.argErr);
  pf::FillExcepInfo(&info);
  call.code = info.wCode;
  call.source = info.source();
  call.description = info.description();
  call.helpFile = info.helpFile();
  call.helpContext = info.dwHelpContext;
  call.scode = info.scode;
  return call;
}

// A registered Slideport control and test application; the control is created as a host
// creates it, by class identifier.
class SlideportFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = &fakeAppLog();
    log_->reset();
    ASSERT_EQ(registerModule(FAKE_APP_MODULE_PATH), pf::S_OK);
    ASSERT_EQ(registerModule(SLIDEPORT_MODULE_PATH), pf::S_OK);
    ASSERT_EQ(pf::CoCreateInstance(CLSID_Slideport, nullptr, pf::CLSCTX_INPROC_SERVER,
                                   pf::IID_IDispatch, control_.putVoid()),
              pf::S_OK);
  }

  void TearDown() override {
    control_.reset();
    EXPECT_EQ(log_->liveObjects, 0) << "the control leaked objects of the application";
  }

  CallResult call(pf::DISPID dispid, std::vector<pf::Variant> args = {}) {
    return invoke(control_.get(), dispid, std::move(args));
  }
  // Calls that must succeed; answers the result.
  pf::Variant ok(pf::DISPID dispid, std::vector<pf::Variant> args = {}) {
    CallResult result = call(dispid, std::move(args));
    EXPECT_EQ(result.hr, pf::S_OK) << "DISPID " << dispid << ": " << result.description;
    return std::move(result.result);
  }
  // The log lines written since the last call of this, which are then forgotten.
  std::vector<std::string> takeLog() {
    std::vector<std::string> lines = std::move(log_->lines);
    log_->lines.clear();
    return lines;
  }

  TempRegistry registry_;
  FakeAppLog* log_ = nullptr;
  pf::ComPtr<pf::IDispatch> control_;
};

inline pf::Variant bstr(const char* text) { return pf::Variant(text); }
inline pf::Variant i2(pf::SHORT value) { return pf::Variant(value); }

}  // namespace pressmark::control::testing
