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

// The user's file over the machine's, both private to the test:
// PRESSMARK_MACHINE_CLASSES_REG names the machine's, so classesRoot() merges.
class MergedRegistry : public pmtest::TempRegistry {
protected:
    void SetUp() override {
        TempRegistry::SetUp();
        machineFile_ = dir() / "machine.reg";
        ::setenv("PRESSMARK_MACHINE_CLASSES_REG", machineFile_.c_str(), 1);
        // Written by hand, as an administrator's registration would leave them.
        writeFile(machineFile_,
                  "Windows Registry Editor Version 5.00\n"
                  "\n"
                  "[HKEY_CLASSES_ROOT\\CLSID\\{1}\\InprocServer32]\n"
                  "@=\"/usr/lib/pressmark/machine.so\"\n"
                  "\"ThreadingModel\"=\"Apartment\"\n"
                  "\n"
                  "[HKEY_CLASSES_ROOT\\CLSID\\{2}\\InprocServer32]\n"
                  "@=\"/usr/lib/pressmark/second.so\"\n"
                  "\n"
                  "[HKEY_CLASSES_ROOT\\Machine.ProgId]\n"
                  "@=\"machine's\"\n"
                  "\"Only\"=\"machine\"\n");
        writeFile(file(),
                  "Windows Registry Editor Version 5.00\n"
                  "\n"
                  "[HKEY_CLASSES_ROOT\\clsid\\{1}\\InprocServer32]\n"
                  "@=\"/home/u/own.so\"\n"
                  "\n"
                  "[HKEY_CLASSES_ROOT\\clsid\\{3}]\n"
                  "@=\"user only\"\n");
        machineText_ = readFile(machineFile_);
    }
    const std::filesystem::path& machineFile() const { return machineFile_; }
    const std::string& machineText() const { return machineText_; }

private:
    std::filesystem::path machineFile_;
    std::string machineText_;
};

TEST_F(MergedRegistry, UserShadowsMachineAndMachineFillsTheGaps) {
    const RegKey merged = RegKey::classesRoot();
    EXPECT_EQ(merged.file(), file());
    EXPECT_EQ(merged.machineFile(), machineFile());
    const struct {
        const char* name;
        const char* key;
        const char* value;
        LSTATUS status;
        const char* data;
    } cases[] = {
        {"user's default shadows machine's", "CLSID\\{1}\\InprocServer32", "", ERROR_SUCCESS, "/home/u/own.so"},
        {"value only the machine's key has", "CLSID\\{1}\\InprocServer32", "ThreadingModel", ERROR_SUCCESS,
         "Apartment"},
        {"key only the machine has", "CLSID\\{2}\\InprocServer32", "", ERROR_SUCCESS, "/usr/lib/pressmark/second.so"},
        {"key only the user has", "CLSID\\{3}", "", ERROR_SUCCESS, "user only"},
        {"value in neither", "Machine.ProgId", "Missing", ERROR_FILE_NOT_FOUND, ""},
    };
    for (const auto& c : cases) {
        RegKey key;
        ASSERT_EQ(merged.openSubKey(c.key, &key), ERROR_SUCCESS) << c.name;
        std::string data;
        EXPECT_EQ(key.queryValue(c.value, &data), c.status) << c.name;
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(data, c.data) << c.name;
        }
    }
    std::string data;
    EXPECT_EQ(merged.querySubKeyValue("machine.progid", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "machine's");
    RegKey key;
    EXPECT_EQ(merged.openSubKey("CLSID\\{4}", &key), ERROR_FILE_NOT_FOUND);

    std::vector<std::string> names;
    ASSERT_EQ(merged.enumSubKeys(&names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::string>{"clsid", "Machine.ProgId"})) << "union, the user's spelling";
    ASSERT_EQ(merged.openSubKey("CLSID", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.enumSubKeys(&names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::string>{"{1}", "{2}", "{3}"}));
    ASSERT_EQ(merged.openSubKey("CLSID\\{1}\\InprocServer32", &key), ERROR_SUCCESS);
    ASSERT_EQ(key.enumValues(&names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::string>{"", "ThreadingModel"}));

    // The user's file alone knows nothing of the machine's keys.
    EXPECT_EQ(root().openSubKey("CLSID\\{2}", &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(MergedRegistry, WritesAndDeletionsTouchOnlyTheUsersFile) {
    const RegKey merged = RegKey::classesRoot();
    RegKey machineOnly;
    ASSERT_EQ(merged.openSubKey("Machine.ProgId", &machineOnly), ERROR_SUCCESS);
    EXPECT_EQ(machineOnly.deleteValue("Only"), ERROR_FILE_NOT_FOUND) << "the machine's value is not the user's";
    EXPECT_EQ(merged.deleteSubKeyTree("CLSID\\{2}"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(merged.deleteSubKey("Machine.ProgId"), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(machineOnly.setValue("Only", "user"), ERROR_SUCCESS) << "writes below a machine-only key";
    ASSERT_EQ(machineOnly.createSubKey("CLSID"), ERROR_SUCCESS);

    std::string data;
    EXPECT_EQ(machineOnly.queryValue("Only", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "user");
    EXPECT_EQ(root().querySubKeyValue("Machine.ProgId\\CLSID", &data), ERROR_SUCCESS) << "created in the user's file";

    // Deleting the user's shadowing key uncovers the machine's again.
    ASSERT_EQ(merged.deleteSubKeyTree("CLSID\\{1}"), ERROR_SUCCESS);
    EXPECT_EQ(merged.querySubKeyValue("CLSID\\{1}\\InprocServer32", &data), ERROR_SUCCESS);
    EXPECT_EQ(data, "/usr/lib/pressmark/machine.so");
    ASSERT_EQ(merged.deleteSubKeyTree("Machine.ProgId"), ERROR_SUCCESS);
    EXPECT_EQ(machineOnly.queryValue("Only", &data), ERROR_SUCCESS) << "the machine's key is still there";
    EXPECT_EQ(data, "machine");

    EXPECT_EQ(readFile(machineFile()), machineText()) << "the machine's file was changed";
}

TEST_F(MergedRegistry, CorruptMachineFileIsReportedNotSkipped) {
    writeFile(machineFile(), "REGEDIT4\n@=\"x\"\n");
    const std::string userText = readFile(file());
    std::string data;
    EXPECT_EQ(RegKey::classesRoot().querySubKeyValue("CLSID\\{3}", &data), ERROR_BADDB);
    EXPECT_EQ(RegKey::classesRoot().setSubKeyValue("New", "x"), ERROR_BADDB);
    EXPECT_EQ(readFile(file()), userText);
    EXPECT_EQ(root().querySubKeyValue("CLSID\\{3}", &data), ERROR_SUCCESS) << "the user's file alone still works";
}

TEST_F(MergedRegistry, OneFileNamedTwiceIsUsedOnce) {
    // Locking the same file twice in one call would deadlock: a write here
    // must come back (and see the file's own keys once).
    ::setenv("PRESSMARK_MACHINE_CLASSES_REG", (dir() / "." / "classes.reg").c_str(), 1);
    const RegKey merged = RegKey::classesRoot();
    EXPECT_TRUE(merged.machineFile().empty());
    ASSERT_EQ(merged.setSubKeyValue("Written", "once"), ERROR_SUCCESS);
    ASSERT_EQ(RegKey::classesRoot(file(), file()).setSubKeyValue("Twice", "x"), ERROR_SUCCESS);
    RegKey clsid;
    std::vector<std::string> names;
    ASSERT_EQ(merged.openSubKey("CLSID", &clsid), ERROR_SUCCESS);
    ASSERT_EQ(clsid.enumSubKeys(&names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::string>{"{1}", "{3}"}));
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

TEST(RegistryPath, MachineFileIsMergedUnlessATestNamesItsOwnRegistry) {
    const struct {
        const char* name;
        const char* user;     // PRESSMARK_CLASSES_REG, null = unset
        const char* machine;  // PRESSMARK_MACHINE_CLASSES_REG, null = unset
        const char* machinePath;
        const char* merged;
    } cases[] = {
        {"installed program", nullptr, nullptr, "/var/lib/pressmark/classes.reg", "/var/lib/pressmark/classes.reg"},
        {"test names its registry", "/tmp/t.reg", nullptr, "/var/lib/pressmark/classes.reg", ""},
        {"test names both", "/tmp/t.reg", "/tmp/m.reg", "/tmp/m.reg", "/tmp/m.reg"},
        {"machine file moved", nullptr, "/srv/m.reg", "/srv/m.reg", "/srv/m.reg"},
        {"empty counts as unset", "", "", "/var/lib/pressmark/classes.reg", "/var/lib/pressmark/classes.reg"},
    };
    const char* savedUser = std::getenv("PRESSMARK_CLASSES_REG");
    const std::string savedUserValue = savedUser ? savedUser : "";
    const auto put = [](const char* variable, const char* value) {
        if (value)
            ::setenv(variable, value, 1);
        else
            ::unsetenv(variable);
    };
    for (const auto& c : cases) {
        put("PRESSMARK_CLASSES_REG", c.user);
        put("PRESSMARK_MACHINE_CLASSES_REG", c.machine);
        EXPECT_EQ(machineClassesRegistryPath(), c.machinePath) << c.name;
        EXPECT_EQ(mergedMachineRegistryPath(), c.merged) << c.name;
        EXPECT_EQ(RegKey::classesRoot().machineFile(), c.merged) << c.name;
    }
    put("PRESSMARK_CLASSES_REG", savedUser ? savedUserValue.c_str() : nullptr);
    ::unsetenv("PRESSMARK_MACHINE_CLASSES_REG");
}

}  // namespace
