// The class registry: Windows key/value semantics, the .reg file format, and
// safety of the file under concurrent writers and failed writes.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "test_support.h"

using namespace pressmark::platform;
using pmtest::readFile;
using pmtest::writeFile;

namespace {

class Registry : public pmtest::TempRegistry {};

TEST_F(Registry, KeyAndValueNamesAreCaseInsensitiveAndKeepTheirCase) {
    ASSERT_EQ(root().setSubKeyValue("CLSID\\{ABC}\\InprocServer32", "/opt/m.so"), ERROR_SUCCESS);
    RegKey key;
    ASSERT_EQ(root().openSubKey("clsid\\{abc}\\INPROCSERVER32", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.setValue("ThreadingModel", "Apartment"), ERROR_SUCCESS);
    ASSERT_EQ(key.setValue("THREADINGMODEL", "Both"), ERROR_SUCCESS) << "the same value, overwritten";
    std::string data;
    ASSERT_EQ(key.queryValue("threadingmodel", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "Both");
    std::vector<std::string> names;
    ASSERT_EQ(key.enumValues(&names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::string>{"", "ThreadingModel"})) << "first spelling kept";

    ASSERT_EQ(root().createSubKey("CLSID\\{abc}\\progid"), ERROR_SUCCESS) << "opens, does not duplicate";
    RegKey clsid;
    ASSERT_EQ(root().openSubKey("CLSID\\{ABC}", &clsid), ERROR_SUCCESS);
    ASSERT_EQ(clsid.enumSubKeys(&names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::string>{"InprocServer32", "progid"}));
}

TEST_F(Registry, DefaultValuesAndMissingEntries) {
    RegKey key;
    ASSERT_EQ(root().createSubKey("Prog.Id.1", &key), ERROR_SUCCESS);
    std::string data = "unchanged";
    EXPECT_EQ(key.queryValue("", &data), ERROR_FILE_NOT_FOUND) << "no default value set yet";
    EXPECT_EQ(root().querySubKeyValue("Prog.Id.1", &data), ERROR_SUCCESS) << "RegQueryValue answers \"\"";
    EXPECT_EQ(data, "");
    ASSERT_EQ(key.setValue("", "Type name"), ERROR_SUCCESS);
    EXPECT_EQ(root().querySubKeyValue("prog.id.1", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "Type name");

    EXPECT_EQ(root().openSubKey("No\\Such\\Key", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(root().querySubKeyValue("No.Such.ProgId\\CLSID", &data), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(root().deleteSubKeyTree("No.Such.Key"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(root().deleteSubKey("No.Such.Key"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(root().createSubKey("A\\\\B"), ERROR_BADKEY) << "empty key name inside a path";
    EXPECT_EQ(root().openSubKey("\\A", &key), ERROR_BADKEY);
    EXPECT_EQ(key.setValue("line\nbreak", "x"), ERROR_INVALID_PARAMETER) << "the .reg format cannot hold it";
    EXPECT_EQ(RegKey().exists(), false);
    EXPECT_EQ(RegKey().setValue("", "x"), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, DeleteTreeAndDeleteKeyFollowWindows) {
    ASSERT_EQ(root().setSubKeyValue("TypeLib\\{L}\\1.0\\0\\win32", "/m.so"), ERROR_SUCCESS);
    ASSERT_EQ(root().setSubKeyValue("TypeLib\\{L}\\1.0\\FLAGS", "0"), ERROR_SUCCESS);
    ASSERT_EQ(root().setSubKeyValue("TypeLib\\{Other}", "kept"), ERROR_SUCCESS);

    RegKey version;
    ASSERT_EQ(root().openSubKey("TypeLib\\{L}\\1.0", &version), ERROR_SUCCESS);
    EXPECT_EQ(root().deleteSubKey("TypeLib\\{L}"), ERROR_ACCESS_DENIED) << "RegDeleteKey refuses keys with subkeys";
    EXPECT_EQ(version.deleteSubKey("FLAGS"), ERROR_SUCCESS);

    EXPECT_EQ(root().deleteSubKeyTree("typelib\\{l}"), ERROR_SUCCESS);
    EXPECT_FALSE(version.exists());
    std::string data;
    EXPECT_EQ(version.queryValue("", &data), ERROR_KEY_DELETED) << "a handle on a deleted key";
    EXPECT_EQ(root().querySubKeyValue("TypeLib\\{Other}", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "kept");

    // An empty subkey clears the key itself but keeps it.
    RegKey other;
    ASSERT_EQ(root().openSubKey("TypeLib\\{Other}", &other), ERROR_SUCCESS);
    ASSERT_EQ(other.createSubKey("child"), ERROR_SUCCESS);
    EXPECT_EQ(other.deleteSubKeyTree(""), ERROR_SUCCESS);
    std::vector<std::string> names;
    EXPECT_EQ(other.enumSubKeys(&names), ERROR_SUCCESS);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(other.queryValue("", &data), ERROR_FILE_NOT_FOUND);
    std::string name;
    EXPECT_EQ(root().enumSubKey(0, &name), ERROR_SUCCESS);
    EXPECT_EQ(name, "TypeLib");
    EXPECT_EQ(root().enumSubKey(1, &name), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, WritesTheRegExportFormatWithEscapes) {
    ASSERT_EQ(root().setSubKeyValue("Pressmark.Test", "say \"hi\""), ERROR_SUCCESS);
    RegKey key;
    ASSERT_EQ(root().createSubKey("Pressmark.Test\\Paths", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.setValue("Dir", "C:\\Temp\\"), ERROR_SUCCESS);
    ASSERT_EQ(key.setValue("", ""), ERROR_SUCCESS);
    // Hand-written: what regedit exports for these entries (every key its own
    // section, default value as @, backslash and quote escaped).
    EXPECT_EQ(readFile(file()),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\Pressmark.Test]\n"
              "@=\"say \\\"hi\\\"\"\n"
              "\n"
              "[HKEY_CLASSES_ROOT\\Pressmark.Test\\Paths]\n"
              "@=\"\"\n"
              "\"Dir\"=\"C:\\\\Temp\\\\\"\n");
}

TEST_F(Registry, ReadsAFileWrittenByHand) {
    writeFile(file(),
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "; a comment\r\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32]\r\n"
              "@=\"/usr/lib/a \\\"b\\\".so\"\r\n"
              "\"ThreadingModel\"=\"Apartment\"\r\n");
    std::string data;
    ASSERT_EQ(root().querySubKeyValue("CLSID\\{1}\\InprocServer32", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "/usr/lib/a \"b\".so");
    RegKey clsid;
    EXPECT_EQ(root().openSubKey("CLSID", &clsid), ERROR_SUCCESS) << "parent levels exist implicitly";
}

TEST_F(Registry, CorruptFileIsReportedAndNeverOverwritten) {
    const struct {
        const char* name;
        const char* text;
        const char* problem;
    } cases[] = {
        {"no header", "[HKEY_CLASSES_ROOT\\A]\n", "line 1: not a registry file"},
        {"other hive", "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n", "line 2: only keys under"},
        {"dword value", "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n\"n\"=dword:00000001\n", "line 3: only string values"},
        {"unterminated string", "REGEDIT4\n[HKEY_CLASSES_ROOT\\A]\n@=\"abc\n", "line 3: malformed string value"},
        {"value before key", "REGEDIT4\n@=\"x\"\n", "line 2: a value before the first key"},
    };
    for (const auto& c : cases) {
        writeFile(file(), c.text);
        EXPECT_EQ(root().setSubKeyValue("B", "x"), ERROR_BADDB) << c.name;
        std::string data;
        EXPECT_EQ(root().querySubKeyValue("A", &data), ERROR_BADDB) << c.name;
        EXPECT_EQ(readFile(file()), c.text) << c.name << ": the file was changed";
        const auto problem = findRegistryFileProblem(file());
        ASSERT_TRUE(problem.has_value()) << c.name;
        EXPECT_NE(problem->find(file().string()), std::string::npos) << *problem;
        EXPECT_NE(problem->find(c.problem), std::string::npos) << c.name << ": " << *problem;
    }
}

TEST_F(Registry, ConcurrentWritersInProcessesAndThreadsLoseNothing) {
    constexpr int kWrites = 40;
    const auto writeMany = [this](const std::string& who) {
        for (int i = 0; i < kWrites; ++i) {
            if (root().setSubKeyValue("Writers\\" + who + "\\" + std::to_string(i), "v") != ERROR_SUCCESS) return false;
        }
        return true;
    };
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(writeMany("process" + std::to_string(p)) ? 0 : 1);
        children.push_back(pid);
    }
    bool threadOk[2] = {false, false};
    std::thread t0([&] { threadOk[0] = writeMany("thread0"); });
    std::thread t1([&] { threadOk[1] = writeMany("thread1"); });
    t0.join();
    t1.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_TRUE(threadOk[0] && threadOk[1]);
    for (const char* who : {"process0", "process1", "thread0", "thread1"}) {
        RegKey key;
        ASSERT_EQ(root().openSubKey(std::string("Writers\\") + who, &key), ERROR_SUCCESS) << who;
        std::vector<std::string> names;
        ASSERT_EQ(key.enumSubKeys(&names), ERROR_SUCCESS);
        EXPECT_EQ(names.size(), static_cast<std::size_t>(kWrites)) << who << " lost updates";
    }
    EXPECT_FALSE(findRegistryFileProblem(file()).has_value());
}

TEST_F(Registry, FailedWriteLeavesTheOldFileIntact) {
    ASSERT_EQ(root().setSubKeyValue("Existing", "value"), ERROR_SUCCESS);
    const std::string before = readFile(file());

    // In a child limited to small files, a write that needs a larger file
    // fails part-way (EFBIG), as a full disk would.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size() + 16), static_cast<rlim_t>(before.size() + 16)};
        setrlimit(RLIMIT_FSIZE, &limit);
        const LSTATUS status = root().setSubKeyValue("Big", std::string(4096, 'x'));
        _exit(status == ERROR_CANTWRITE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write was not reported as failed";
    EXPECT_EQ(readFile(file()), before);
    for (const auto& entry : std::filesystem::directory_iterator(dir()))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << "left behind: " << entry.path();
}

TEST(RegistryPath, EnvironmentChoosesTheFile) {
    const char* saved = std::getenv("PRESSMARK_CLASSES_REG");
    const std::string savedValue = saved ? saved : "";
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::setenv("PRESSMARK_CLASSES_REG", "/tmp/elsewhere.reg", 1);
    EXPECT_EQ(classesRegistryPath(), "/tmp/elsewhere.reg");
    ::unsetenv("PRESSMARK_CLASSES_REG");
    ::setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(classesRegistryPath(), "/tmp/xdg/pressmark/classes.reg");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(classesRegistryPath(), "/home/someone/.local/share/pressmark/classes.reg");
    if (home) ::setenv("HOME", savedHome.c_str(), 1);
    if (saved) ::setenv("PRESSMARK_CLASSES_REG", savedValue.c_str(), 1);
}

}  // namespace
