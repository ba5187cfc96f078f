// Hive sessions: the hive's lock from load to save, concurrent writers,
// a holder that hangs, killed savers, file mode, owner and symbolic links.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host_registry.h"

namespace {

using hostwin::HiveLock;
using hostwin::HiveSession;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kNoWait{0};

class Hive : public HostRegistryTest {
protected:
    void SetUp() override {
        HostRegistryTest::SetUp();
        char tmpl[] = "/tmp/hivesessionXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/hive.reg";
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
    std::set<std::string> Temporaries(const std::string& base = "hive.reg") const {
        std::set<std::string> out;
        for (const std::string& f : Files())
            if (f.rfind("." + base + ".tmp.", 0) == 0) out.insert(f);
        return out;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static mode_t Mode(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }
    std::string dir_, path_;
};

void SetNumber(const std::string& key, const std::string& name, uint32_t number) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, key);
    SetRaw(h, name.c_str(), REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
    RegCloseKey(h);
}

// Forks a child that runs `body` and exits with its result (0 for true).
template <typename F>
pid_t Child(F&& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
}

bool ExitedWell(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Hive, ConcurrentWritersLoseNothing) {
    constexpr int kProcesses = 4;
    constexpr int kRounds = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(Child([&] {
            for (int i = 0; i < kRounds; ++i) {
                HiveSession hive;
                std::string error;
                if (!hive.Open(path_, HiveLock::kExclusive, hostwin::kHiveLockWait, &error) || !hive.Load(&error))
                    return false;
                SetNumber("Software\\Writers", "p" + std::to_string(p) + "r" + std::to_string(i), 1);
                if (!hive.Save(&error)) return false;
            }
            return true;
        }));
        ASSERT_GT(children.back(), 0);
    }
    for (pid_t pid : children) EXPECT_TRUE(ExitedWell(pid)) << "writer " << pid;

    HiveSession hive;
    std::string error;
    ASSERT_TRUE(hive.Open(path_, HiveLock::kShared, kNoWait, &error)) << error;
    ASSERT_TRUE(hive.Load(&error)) << error;
    std::vector<hostwin::RegistryKeyCopy> tree;
    ASSERT_TRUE(hostwin::RegistryCopyTree("HKEY_LOCAL_MACHINE\\Software\\Writers", &tree));
    ASSERT_EQ(tree.size(), 1u);
    std::set<std::string> names;
    for (const auto& v : tree[0].values) names.insert(v.name);
    EXPECT_EQ(names.size(), static_cast<size_t>(kProcesses * kRounds)) << "writes were lost";
}

TEST_F(Hive, LoadAndSaveInsideTheSessionTakeNoSecondLock) {
    SetNumber("Software\\Before", "old", 1);
    HiveSession hive;
    std::string error;
    ASSERT_TRUE(hive.Open(path_, HiveLock::kExclusive, kNoWait, &error)) << error;
    EXPECT_EQ(hive.Path(), path_);
    // No file yet: an empty registry.
    ASSERT_TRUE(hive.Load(&error)) << error;
    EXPECT_EQ(hostwin::RegistryExportText(), "REGEDIT4\r\n\r\n");
    SetNumber("Software\\Now", "v", 7);
    ASSERT_TRUE(hive.Save(&error)) << error;
    ASSERT_TRUE(hive.Save(&error)) << error;
    const std::string saved = hostwin::RegistryExportText();
    SetNumber("Software\\Now", "v", 8);
    ASSERT_TRUE(hive.Load(&error)) << error;
    EXPECT_EQ(hostwin::RegistryExportText(), saved);
    EXPECT_EQ(Read(path_), saved);

    // Saving past the session from the same process is an error at once,
    // not a wait for a lock this process holds itself.
    const auto t0 = Clock::now();
    EXPECT_FALSE(hostwin::RegistrySave(path_, &error));
    EXPECT_NE(error.find("session of its own"), std::string::npos) << error;
    EXPECT_LT(Clock::now() - t0, milliseconds(1000));
}

TEST_F(Hive, SharedSessionsReadTogetherAndKeepWritersOut) {
    SetNumber("Software\\S", "v", 1);
    std::string error;
    ASSERT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
    HiveSession reader_a, reader_b;
    ASSERT_TRUE(reader_a.Open(path_, HiveLock::kShared, kNoWait, &error)) << error;
    ASSERT_TRUE(reader_b.Open(path_, HiveLock::kShared, kNoWait, &error)) << error;
    EXPECT_TRUE(reader_b.Load(&error)) << error;
    EXPECT_FALSE(reader_b.Save(&error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;

    HiveSession writer;
    const auto t0 = Clock::now();
    EXPECT_FALSE(writer.Open(path_, HiveLock::kExclusive, milliseconds(150), &error));
    EXPECT_GE(Clock::now() - t0, milliseconds(150));
    EXPECT_NE(error.find("locked by another process"), std::string::npos) << error;
    EXPECT_NE(error.find("150 ms"), std::string::npos) << error;
    EXPECT_FALSE(writer.IsOpen());

    reader_a.Close();
    reader_b = HiveSession();  // moving in a closed session releases the old one
    EXPECT_TRUE(writer.Open(path_, HiveLock::kExclusive, kNoWait, &error)) << error;
}

TEST_F(Hive, AHungHolderIsReportedWithItsProcessId) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        HiveSession hive;
        std::string error;
        const char ok = hive.Open(path_, HiveLock::kExclusive, kNoWait, &error) ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        for (;;) pause();  // hangs with the lock
    }
    close(ready[1]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    ASSERT_EQ(ok, 'y');

    HiveSession hive;
    std::string error;
    const auto t0 = Clock::now();
    EXPECT_FALSE(hive.Open(path_, HiveLock::kShared, milliseconds(200), &error));
    const auto waited = Clock::now() - t0;
    EXPECT_GE(waited, milliseconds(200));
    EXPECT_LT(waited, milliseconds(5000));
    EXPECT_EQ(error, path_ + ": the hive is locked by another process (process " + std::to_string(holder) +
                         "), which did not release it within 200 ms");

    // However a holder ends, its lock goes with it.
    kill(holder, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    EXPECT_TRUE(hive.Open(path_, HiveLock::kExclusive, kNoWait, &error)) << error;
}

TEST_F(Hive, OpenRefusesWhatCannotBeAHive) {
    HiveSession hive;
    std::string error;
    EXPECT_FALSE(hive.Open(dir_ + "/missing/hive.reg", HiveLock::kExclusive, kNoWait, &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(hive.Open(dir_, HiveLock::kExclusive, kNoWait, &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    EXPECT_FALSE(hive.Load(&error));
    EXPECT_FALSE(hive.Save(&error));
    EXPECT_EQ(error, "no hive session is open");
}

TEST_F(Hive, ABadHiveLoadsNothingAndNamesTheLine) {
    std::ofstream(path_, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"v\"=dword:1\r\nbad\r\n";
    SetNumber("Software\\Kept", "v", 3);
    const std::string before = hostwin::RegistryExportText();
    HiveSession hive;
    std::string error;
    ASSERT_TRUE(hive.Open(path_, HiveLock::kExclusive, kNoWait, &error)) << error;
    EXPECT_FALSE(hive.Load(&error));
    EXPECT_EQ(error.rfind(path_ + ":5: ", 0), 0u) << error;
    EXPECT_EQ(hostwin::RegistryExportText(), before);
}

TEST_F(Hive, ANewHiveIsPrivateAndASaveKeepsTheMode) {
    SetNumber("Software\\M", "v", 1);
    const mode_t old_umask = umask(0);  // the mode must not come from the umask
    HiveSession hive;
    std::string error;
    ASSERT_TRUE(hive.Open(path_, HiveLock::kExclusive, kNoWait, &error)) << error;
    ASSERT_TRUE(hive.Save(&error)) << error;
    EXPECT_EQ(Mode(path_), 0600u);
    EXPECT_EQ(Mode(dir_ + "/.hive.reg.lock"), 0600u);
    for (mode_t mode : {0640u, 0644u, 0400u, 0600u}) {
        ASSERT_EQ(chmod(path_.c_str(), mode), 0);
        ASSERT_TRUE(hive.Save(&error)) << error;
        EXPECT_EQ(Mode(path_), mode) << std::oct << mode;
    }
    umask(old_umask);
}

TEST_F(Hive, ASaveKeepsTheOwnerWhereItMay) {
    SetNumber("Software\\O", "v", 1);
    std::string error;
    ASSERT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
    constexpr uid_t kOtherUser = 4321;
    constexpr gid_t kOtherGroup = 4322;
    struct stat st;
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path_.c_str(), kOtherUser, kOtherGroup), 0);
        ASSERT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
        ASSERT_EQ(stat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kOtherUser);
        EXPECT_EQ(st.st_gid, kOtherGroup);
    } else {
        // Only root can give a file to someone else; anyone else's save
        // makes the hive its own, as any rewrite of a file would.
        ASSERT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
        ASSERT_EQ(stat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, geteuid());
    }
}

struct LinkCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // name -> what it points at ($ = the directory)
    std::string opened;                                      // the path given to Open
    std::string target;                                      // the file that is the hive
    bool target_exists;
};

TEST_F(Hive, ASymbolicLinkIsSavedThroughAndStays) {
    const LinkCase cases[] = {
        {"relative link", {{"link.reg", "target.reg"}}, "link.reg", "target.reg", true},
        {"absolute link", {{"link.reg", "$/target.reg"}}, "link.reg", "target.reg", true},
        {"chain of links", {{"a.reg", "b.reg"}, {"b.reg", "target.reg"}}, "a.reg", "target.reg", true},
        {"link to a hive not yet made", {{"link.reg", "target.reg"}}, "link.reg", "target.reg", false},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& f : Files()) unlink((dir_ + "/" + f).c_str());
        hostwin::RegistryClear();
        SetNumber("Software\\L", "v", 1);
        std::string error;
        const std::string target = dir_ + "/" + c.target;
        if (c.target_exists) {
            ASSERT_TRUE(hostwin::RegistrySave(target, &error)) << error;
            ASSERT_EQ(chmod(target.c_str(), 0640), 0);
        }
        for (const auto& [name, to] : c.links) {
            const std::string where = to[0] == '$' ? dir_ + to.substr(1) : to;
            ASSERT_EQ(symlink(where.c_str(), (dir_ + "/" + name).c_str()), 0);
        }
        SetNumber("Software\\L", "v", 2);
        {
            HiveSession hive;
            ASSERT_TRUE(hive.Open(dir_ + "/" + c.opened, HiveLock::kExclusive, kNoWait, &error)) << error;
            ASSERT_TRUE(hive.Save(&error)) << error;
            ASSERT_TRUE(hive.Load(&error)) << error;
        }
        EXPECT_EQ(Read(target), hostwin::RegistryExportText());
        EXPECT_EQ(Mode(target), c.target_exists ? 0640u : 0600u);
        for (const auto& [name, to] : c.links) {
            struct stat st;
            ASSERT_EQ(lstat((dir_ + "/" + name).c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << name << " is no longer a link";
        }
        // One lock for the hive, whichever name it was opened by.
        EXPECT_TRUE(Files().count(".target.reg.lock"));
        EXPECT_FALSE(Files().count("." + c.opened + ".lock"));
        EXPECT_TRUE(Temporaries(c.target).empty());
    }
}

TEST_F(Hive, ASaveRemovesTheTemporariesOfDeadSaversOnly) {
    SetNumber("Software\\T", "v", 1);
    // A process that is gone, and one that lives (and might be saving).
    pid_t dead = Child([] { return true; });
    ASSERT_TRUE(ExitedWell(dead));
    pid_t alive = fork();
    ASSERT_GE(alive, 0);
    if (alive == 0) {
        for (;;) pause();
    }
    const std::string dead_tmp = ".hive.reg.tmp." + std::to_string(dead) + ".0";
    const std::string live_tmp = ".hive.reg.tmp." + std::to_string(alive) + ".3";
    const std::string other_hive_tmp = ".other.reg.tmp." + std::to_string(dead) + ".0";
    for (const std::string& name : {dead_tmp, live_tmp, other_hive_tmp}) std::ofstream(dir_ + "/" + name) << "partial";
    std::string error;
    EXPECT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
    EXPECT_EQ(Temporaries(), std::set<std::string>{live_tmp});
    EXPECT_TRUE(Files().count(other_hive_tmp)) << "another hive's temporaries are its own saver's business";
    kill(alive, SIGKILL);
    waitpid(alive, nullptr, 0);
    EXPECT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
    EXPECT_TRUE(Temporaries().empty());
}

TEST_F(Hive, KilledSaversLeaveTheOldOrTheNewHiveAndNothingLasting) {
    constexpr int kKeys = 3000;
    constexpr int kKills = 40;
    auto fill = [](uint32_t generation) {
        for (int i = 0; i < kKeys; ++i)
            SetNumber("Software\\K\\G" + std::to_string(i / 100) + "\\Key" + std::to_string(i), "g", generation);
    };
    fill(1);
    std::string error;
    ASSERT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
    const std::string old_text = Read(path_);
    fill(2);
    const std::string new_text = hostwin::RegistryExportText();
    ASSERT_NE(old_text, new_text);

    // How long a saver lives, so that the kills fall anywhere in it.
    const auto t0 = Clock::now();
    ASSERT_TRUE(ExitedWell(Child([&] {
        std::string e;
        return hostwin::RegistrySave(dir_ + "/probe.reg", &e);
    })));
    const auto lifetime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0);
    unlink((dir_ + "/probe.reg").c_str());
    unlink((dir_ + "/.probe.reg.lock").c_str());

    std::mt19937 rng(7);
    std::uniform_int_distribution<long> delay(0, lifetime.count());
    for (int i = 0; i < kKills; ++i) {
        pid_t saver = Child([&] {
            std::string e;
            return hostwin::RegistrySave(path_, &e);
        });
        ASSERT_GT(saver, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        kill(saver, SIGKILL);
        waitpid(saver, nullptr, 0);
        const std::string seen = Read(path_);
        ASSERT_TRUE(seen == old_text || seen == new_text) << "a torn hive after kill " << i;
    }
    ASSERT_TRUE(hostwin::RegistrySave(path_, &error)) << error;
    EXPECT_EQ(Read(path_), new_text);
    EXPECT_TRUE(Temporaries().empty());
}

}  // namespace
