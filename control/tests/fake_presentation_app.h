// A stand-in for the presentation application, for the control's tests: an in-process
// automation server registered under "Powerpoint.Application" whose objects (Application,
// Presentations, Presentation, SlideShowSettings, SlideShowWindow, SlideShowView, Slides)
// answer the members the control calls and write every call into a log that the test reads.
// Every getter hands out a new object, so each reference the control keeps is the only one and
// its release shows in the log.
//
// The server module and the test share one process: the test finds the log through the
// module's exported PressmarkFakeAppLog().
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pressmark/platform/types.h"

namespace pressmark::control::testing {

inline constexpr platform::CLSID CLSID_FakePresentationApp =
    platform::parseGuid("{5E0C7A31-8B2D-4F6E-9A47-1C3D5B7E9F02}");

// What a call answers instead of success.
struct FakeFailure {
  platform::HRESULT result = 0;  // DISP_E_EXCEPTION: with the EXCEPINFO below
  platform::WORD code = 0;
  std::string source;
  std::string description;
  std::string helpFile;
  platform::DWORD helpContext = 0;
  platform::SCODE scode = 0;
  bool deferred = false;  // fill the EXCEPINFO through pfnDeferredFillIn
};

struct FakeAppLog {
  // One line per event, e.g.
  //   "create Application#1"
  //   "Presentations#1.2005 method(BSTR \"talk.ppt\", I4 0, I4 0, I4 0)"
  //   "SlideShowSettings#1.2010 put(I4 1)"
  //   "release Slides#1"
  std::vector<std::string> lines;
  // Failures to inject: the first call to "<Kind>.<dispid>" answers `failure`, once.
  struct Injection {
    std::string member;  // "Presentation.2039"
    FakeFailure failure;
  };
  std::vector<Injection> injections;
  platform::LONG slideCount = 12;
  platform::LONG showPosition = 3;
  bool refuseCreation = false;   // the class factory answers E_OUTOFMEMORY
  bool openAnswersNothing = false;  // Presentations.Open answers VT_EMPTY
  int liveObjects = 0;
  std::map<std::string, int> counters;  // per kind, for the object names

  void reset() { *this = FakeAppLog{}; }
  void failOnce(std::string member, FakeFailure failure) {
    injections.push_back({std::move(member), std::move(failure)});
  }
};

}  // namespace pressmark::control::testing

extern "C" pressmark::control::testing::FakeAppLog* PressmarkFakeAppLog();
