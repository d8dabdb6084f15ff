#pragma once
// Shared fixtures: a private registry file per test (PRESSMARK_CLASSES_REG
// points at it, never at the user's, and no machine file lies beneath), and the module lock count of the test
// program, which must be back to zero when a test ends (leaked objects fail).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "pressmark/platform/com.h"

namespace pmtest {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pm-platform-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        file_ = dir_ / "classes.reg";
        ::setenv("PRESSMARK_CLASSES_REG", file_.c_str(), 1);
        ::unsetenv("PRESSMARK_MACHINE_CLASSES_REG");  // no machine file beneath unless a test asks for one
        locksAtStart_ = pressmark::platform::ModuleLockCount();
    }
    void TearDown() override {
        EXPECT_EQ(pressmark::platform::ModuleLockCount(), locksAtStart_) << "objects of the test program leaked";
        ::unsetenv("PRESSMARK_CLASSES_REG");
        ::unsetenv("PRESSMARK_MACHINE_CLASSES_REG");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& dir() const { return dir_; }
    const std::filesystem::path& file() const { return file_; }
    pressmark::platform::RegKey root() const { return pressmark::platform::RegKey::classesRoot(file_); }

private:
    std::filesystem::path dir_;
    std::filesystem::path file_;
    long locksAtStart_ = 0;
};

}  // namespace pmtest
