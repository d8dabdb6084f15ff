#pragma once
// The private profile an office of ours starts with.
//
// An office run only headless never records which version last used its
// profile (the GUI does that when it first shows a document), so every start
// counts as the first after an upgrade and runs the graphics self-tests
// again: about three seconds of drawing into off-screen bitmaps before the
// office answers. A profile that already names the installed version skips
// them and starts in a fraction of a second.
#include <optional>
#include <string>

namespace pressmark::office {

// The installed office's "major.minor" version as its own configuration
// states it (share/registry/main.xcd beside the program folder), read once.
std::optional<std::string> installedOfficeVersion();

// The version named in a configuration file's text: the value of the first
// "ooSetupVersion" property. Separate for tests.
std::optional<std::string> setupVersionFromConfiguration(const std::string& text);

// Writes the user settings into a new, empty profile folder: the installed
// version as the last one used. Without a known version the profile is left
// empty (the office then only starts more slowly). Throws WriteError.
void prepareProfile(const std::string& profileDir);

}  // namespace pressmark::office
