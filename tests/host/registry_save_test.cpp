// Saving the registry to a file: atomic replacement under the hive's lock,
// clean failures, and two processes saving at once.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "host_registry.h"

namespace {

// A fresh directory, removed with its files afterwards.
class RegSave : public HostRegistryTest {
protected:
    void SetUp() override {
        HostRegistryTest::SetUp();
        char tmpl[] = "/tmp/regsaveXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        for (const std::string& f : Files()) unlink((dir_ + "/" + f).c_str());
        rmdir(dir_.c_str());
        HostRegistryTest::TearDown();
    }
    std::set<std::string> Files() const {
        std::set<std::string> names;
        if (DIR* d = opendir(dir_.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
            closedir(d);
        }
        return names;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string dir_;
};

// What a saved hive leaves in its directory: the file and its lock file.
std::set<std::string> HiveFiles(const std::string& name) {
    return {name, "." + name + ".lock"};
}

void FillSample(const std::string& tag, int keys) {
    for (int i = 0; i < keys; ++i) {
        HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Software\\Saved\\" + tag + "\\Key" + std::to_string(i));
        SetRaw(h, "Name", REG_SZ, tag + " number " + std::to_string(i) + std::string(1, '\0'));
        SetRaw(h, "Blob", REG_BINARY, std::string(64, static_cast<char>(i)));
        RegCloseKey(h);
    }
}

TEST_F(RegSave, WritesTheExportTextAndLoadsBack) {
    FillSample("A", 20);
    const std::string path = dir_ + "/machine.reg";
    std::string error;
    ASSERT_TRUE(hostwin::RegistrySave(path, &error)) << error;
    EXPECT_EQ(Read(path), hostwin::RegistryExportText());
    EXPECT_EQ(Files(), HiveFiles("machine.reg"));

    ASSERT_TRUE(hostwin::RegistrySave(dir_ + "/sub.reg", &error, "HKEY_LOCAL_MACHINE\\Software\\Saved\\A\\Key3"))
        << error;
    EXPECT_EQ(Read(dir_ + "/sub.reg"), hostwin::RegistryExportText("HKEY_LOCAL_MACHINE\\Software\\Saved\\A\\Key3"));

    const std::string before = Dump("HKEY_LOCAL_MACHINE");
    hostwin::RegistryClear();
    ASSERT_TRUE(hostwin::RegistryImport(path, &error)) << error;
    EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE"), before);
}

TEST_F(RegSave, ReplacesTheFileByRenameNotInPlace) {
    const std::string path = dir_ + "/machine.reg";
    FillSample("Old", 3);
    std::string error;
    ASSERT_TRUE(hostwin::RegistrySave(path, &error)) << error;
    const std::string old_text = Read(path);
    // A reader that opened the old file keeps seeing all of it.
    int reader = open(path.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    hostwin::RegistryClear();
    FillSample("New", 5);
    ASSERT_TRUE(hostwin::RegistrySave(path, &error)) << error;
    std::string seen(old_text.size() + 16, '\0');
    ssize_t n = pread(reader, seen.data(), seen.size(), 0);
    close(reader);
    ASSERT_GE(n, 0);
    seen.resize(static_cast<size_t>(n));
    EXPECT_EQ(seen, old_text);
    EXPECT_EQ(Read(path), hostwin::RegistryExportText());
    EXPECT_EQ(Files(), HiveFiles("machine.reg"));
}

TEST_F(RegSave, FailsCleanly) {
    FillSample("A", 2);
    std::string error;
    // Into a directory that does not exist.
    const std::string missing = dir_ + "/no/such/dir/machine.reg";
    EXPECT_FALSE(hostwin::RegistrySave(missing, &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_TRUE(Files().empty());

    // A subtree that does not exist: no file, no temporary left.
    const std::string path = dir_ + "/machine.reg";
    error.clear();
    EXPECT_FALSE(hostwin::RegistrySave(path, &error, "HKEY_LOCAL_MACHINE\\Nowhere"));
    EXPECT_NE(error.find("no such key"), std::string::npos) << error;
    EXPECT_EQ(Files(), std::set<std::string>{".machine.reg.lock"});

    // A key name a file cannot carry: the earlier file stays as it was.
    ASSERT_TRUE(hostwin::RegistrySave(path, &error)) << error;
    const std::string good = Read(path);
    RegCloseKey(CreateKey(HKEY_LOCAL_MACHINE, "Software\\two\nlines"));
    error.clear();
    EXPECT_FALSE(hostwin::RegistrySave(path, &error));
    EXPECT_NE(error.find("line break"), std::string::npos) << error;
    EXPECT_EQ(Read(path), good);
    EXPECT_EQ(Files(), HiveFiles("machine.reg"));

    // A directory where the file should go.
    ASSERT_EQ(mkdir((dir_ + "/taken").c_str(), 0755), 0);
    error.clear();
    EXPECT_FALSE(hostwin::RegistrySave(dir_ + "/taken", &error, "HKEY_LOCAL_MACHINE\\Software\\Saved"));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    std::set<std::string> expected = HiveFiles("machine.reg");
    expected.insert("taken");
    EXPECT_EQ(Files(), expected);
    rmdir((dir_ + "/taken").c_str());
}

TEST_F(RegSave, WaitsForTheHiveLock) {
    FillSample("A", 2);
    const std::string path = dir_ + "/machine.reg";
    hostwin::HiveSession held;
    std::string error;
    ASSERT_TRUE(held.Open(path, hostwin::HiveLock::kShared, std::chrono::milliseconds(0), &error)) << error;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string child_error;
        _exit(hostwin::RegistrySave(path, &child_error) ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Files(), std::set<std::string>{".machine.reg.lock"}) << "saved while another process held the lock";
    held.Close();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read(path), hostwin::RegistryExportText());
}

TEST_F(RegSave, TwoProcessesSavingAtOnceNeverTearTheFile) {
    const std::string path = dir_ + "/machine.reg";
    FillSample("First", 150);
    const std::string text_a = hostwin::RegistryExportText();
    hostwin::RegistryClear();
    FillSample("Second", 100);
    const std::string text_b = hostwin::RegistryExportText();
    hostwin::RegistryClear();
    ASSERT_NE(text_a, text_b);

    constexpr int kSaves = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            hostwin::RegistryClear();
            c == 0 ? FillSample("First", 150) : FillSample("Second", 100);
            std::string error;
            for (int i = 0; i < kSaves; ++i)
                if (!hostwin::RegistrySave(path, &error)) _exit(1);
            _exit(0);
        }
    }
    // Meanwhile, every look at the file finds one whole save or the other.
    int looks = 0, bad = 0;
    int status[2] = {0, 0};
    bool done[2] = {false, false};
    std::string error;
    while (!(done[0] && done[1])) {
        for (int c = 0; c < 2; ++c)
            if (!done[c] && waitpid(children[c], &status[c], WNOHANG) == children[c]) done[c] = true;
        std::string seen = Read(path);
        if (seen.empty()) continue;
        ++looks;
        if (seen != text_a && seen != text_b) ++bad;
        hostwin::RegistryClear();
        if (!hostwin::RegistryImport(path, &error)) ++bad;
    }
    for (int c = 0; c < 2; ++c) EXPECT_TRUE(WIFEXITED(status[c]) && WEXITSTATUS(status[c]) == 0) << "saver " << c;
    EXPECT_EQ(bad, 0) << "of " << looks << " looks";
    const std::string last = Read(path);
    EXPECT_TRUE(last == text_a || last == text_b);
    EXPECT_EQ(Files(), HiveFiles("machine.reg"));
    hostwin::RegistryClear();
}

}  // namespace
