// hivestress: what happens to a hive file under concurrent writers, killed
// savers and a very large value. Run by hand; no test runs it (the host
// tests run small versions of the first two).
//
//   hivestress lost-writes [PROCS [WRITES [plain]]]
//       PROCS processes (default 8) each add WRITES values (default 100) to
//       one hive, one value per load-change-save round inside a hive
//       session, and the writes missing from the final file are counted.
//       With "plain", each round is RegistryImport and RegistrySave without
//       a session, as a program had to do before sessions existed.
//   hivestress kills [KEYS [COUNT]]
//       Saves a hive of KEYS keys (default 20000), then COUNT times (default
//       400) starts a saver of a changed registry and kills it with SIGKILL
//       part-way through. Prints the temporaries left behind, whether the
//       hive is still the old or the new content, and what one more save
//       leaves.
//   hivestress import-peak [MB [utf16]]
//       Writes a hive holding one string value of MB megabytes (default 100),
//       REGEDIT4 or, with "utf16", version 5, and imports it in a fresh
//       process: prints that process's peak memory against the file size.
//   hivestress mode-and-links
//       Saves over a hive of mode 0600 and through a symbolic link, and
//       prints the mode and what became of the link.
//
// The files go to a new directory in $TMPDIR (or /tmp), removed afterwards.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"

namespace {

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "hivestress: %s\n", what.c_str());
    std::exit(1);
}

std::string MakeDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/hivestress.XXXXXX";
    if (!mkdtemp(tmpl.data())) Die("cannot make a directory for the hive");
    return tmpl;
}

void RemoveDir(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") unlink((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Loads the hive into an empty registry (an absent file is an empty hive).
bool Load(const std::string& path, std::string* error) {
    hostwin::RegistryClear();
    return !Exists(path) || hostwin::RegistryImport(path, error);
}

void SetNumber(const std::string& key, const std::string& name, uint32_t number) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        Die("cannot create " + key);
    RegSetValueExA(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegCloseKey(h);
}

size_t CountValues(const std::string& root) {
    std::vector<hostwin::RegistryKeyCopy> tree;
    if (!hostwin::RegistryCopyTree(root, &tree)) return 0;
    size_t n = 0;
    for (const auto& k : tree) n += k.values.size();
    return n;
}

// Hidden temporaries a saver makes beside the hive, and their total size.
struct Leftovers {
    size_t count = 0;
    uint64_t bytes = 0;
};
Leftovers Temporaries(const std::string& dir, const std::string& base) {
    Leftovers out;
    const std::string prefix = "." + base + ".tmp.";
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
            struct stat st;
            if (stat((dir + "/" + e->d_name).c_str(), &st) == 0) out.bytes += static_cast<uint64_t>(st.st_size);
            ++out.count;
        }
        closedir(d);
    }
    return out;
}

int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

// ---- lost-writes --------------------------------------------------------------

constexpr const char* kStressKey = "Software\\HiveStress";

int LostWrites(int procs, int writes, bool plain) {
    const std::string dir = MakeDir();
    const std::string path = dir + "/hive.reg";
    std::vector<pid_t> children;
    auto t0 = std::chrono::steady_clock::now();
    for (int p = 0; p < procs; ++p) {
        pid_t pid = fork();
        if (pid < 0) Die("fork failed");
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < writes; ++i) {
                std::string error;
                const std::string name = "p" + std::to_string(p) + "w" + std::to_string(i);
                if (plain) {
                    if (!Load(path, &error)) {
                        ++failures;
                        continue;
                    }
                    SetNumber(kStressKey, name, static_cast<uint32_t>(i));
                    if (!hostwin::RegistrySave(path, &error)) ++failures;
                    continue;
                }
                hostwin::HiveSession hive;
                if (!hive.Open(path, hostwin::HiveLock::kExclusive, hostwin::kHiveLockWait, &error) ||
                    !hive.Load(&error)) {
                    std::fprintf(stderr, "hivestress: %s\n", error.c_str());
                    ++failures;
                    continue;
                }
                SetNumber(kStressKey, name, static_cast<uint32_t>(i));
                if (!hive.Save(&error)) {
                    std::fprintf(stderr, "hivestress: %s\n", error.c_str());
                    ++failures;
                }
            }
            _exit(failures ? 1 : 0);
        }
        children.push_back(pid);
    }
    int failed = 0;
    for (pid_t pid : children) {
        int status = Wait(pid);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::string error;
    if (!Load(path, &error)) Die(error);
    const size_t found = CountValues(std::string("HKEY_LOCAL_MACHINE\\") + kStressKey);
    const size_t total = static_cast<size_t>(procs) * static_cast<size_t>(writes);
    RemoveDir(dir);
    std::printf("processes: %d, writes each: %d, %s, time: %.2f s\n", procs, writes,
                plain ? "plain import and save" : "in hive sessions", seconds);
    std::printf("processes reporting a failed load or save: %d\n", failed);
    std::printf("lost writes: %zu of %zu\n", total - found, total);
    return found == total ? 0 : 2;
}

// ---- kills ---------------------------------------------------------------------

void FillHive(int keys, uint32_t generation) {
    for (int i = 0; i < keys; ++i) {
        char key[96];
        std::snprintf(key, sizeof key, "Software\\HiveStress\\Group%03d\\Key%05d", i / 100, i);
        SetNumber(key, "Generation", generation);
        SetNumber(key, "Index", static_cast<uint32_t>(i));
    }
}

int Kills(int keys, int count) {
    const std::string dir = MakeDir();
    const std::string base = "hive.reg";
    const std::string path = dir + "/" + base;
    std::string error;
    hostwin::RegistryClear();
    FillHive(keys, 1);
    if (!hostwin::RegistrySave(path, &error)) Die(error);
    const std::string old_text = Read(path);
    hostwin::RegistryClear();
    FillHive(keys, 2);
    const std::string new_text = hostwin::RegistryExportText();

    // How long a saver process takes from start to end, so that the kills
    // land anywhere in it.
    const std::string probe = dir + "/probe.reg";
    auto t0 = std::chrono::steady_clock::now();
    pid_t probe_pid = fork();
    if (probe_pid < 0) Die("fork failed");
    if (probe_pid == 0) {
        std::string e;
        _exit(hostwin::RegistrySave(probe, &e) ? 0 : 1);
    }
    Wait(probe_pid);
    const double save_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    unlink(probe.c_str());

    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> delay(0.0, save_ms);
    int intact = 0;
    for (int i = 0; i < count; ++i) {
        pid_t pid = fork();
        if (pid < 0) Die("fork failed");
        if (pid == 0) {
            std::string e;
            _exit(hostwin::RegistrySave(path, &e) ? 0 : 1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(delay(rng) * 1000)));
        kill(pid, SIGKILL);
        Wait(pid);
        const std::string seen = Read(path);
        if (seen == old_text || seen == new_text) ++intact;
    }
    const Leftovers before = Temporaries(dir, base);
    if (!hostwin::RegistrySave(path, &error)) Die(error);
    const Leftovers after = Temporaries(dir, base);
    const bool last_ok = Read(path) == new_text;
    RemoveDir(dir);
    std::printf("keys: %d, one saver process: %.1f ms, savers killed: %d\n", keys, save_ms, count);
    std::printf("hive old or new content after each kill: %d of %d\n", intact, count);
    std::printf("temporaries left: %zu (%.1f MB)\n", before.count, static_cast<double>(before.bytes) / 1e6);
    std::printf("after one more save: %zu temporaries (%.1f MB), hive %s\n", after.count,
                static_cast<double>(after.bytes) / 1e6, last_ok ? "has the new content" : "WRONG");
    return intact == count && after.count == 0 && last_ok ? 0 : 2;
}

// ---- import-peak -----------------------------------------------------------------

int ImportPeak(int mb, bool utf16) {
    const std::string dir = MakeDir();
    const std::string path = dir + "/big.reg";
    {
        std::ofstream out(path, std::ios::binary);
        auto put = [&](const std::string& text) {
            if (!utf16) {
                out << text;
                return;
            }
            std::string wide;
            wide.reserve(2 * text.size());
            for (char c : text) {
                wide.push_back(c);
                wide.push_back('\0');
            }
            out << wide;
        };
        if (utf16) out << "\xFF\xFE";
        put(std::string(utf16 ? "Windows Registry Editor Version 5.00" : "REGEDIT4") +
            "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\HiveStress]\r\n\"Big\"=\"");
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < mb; ++i) put(chunk);
        put("\"\r\n");
        if (!out) Die("cannot write " + path);
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) Die("cannot stat " + path);
    pid_t pid = fork();
    if (pid < 0) Die("fork failed");
    if (pid == 0) {
        std::string error;
        auto t0 = std::chrono::steady_clock::now();
        bool ok = hostwin::RegistryImport(path, &error);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok) std::fprintf(stderr, "hivestress: %s\n", error.c_str());
        std::printf("import: %.2f s\n", seconds);
        std::fflush(stdout);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    rusage ru{};
    while (wait4(pid, &status, 0, &ru) < 0) {
        if (errno != EINTR) Die("wait failed");
    }
    RemoveDir(dir);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("the import failed");
    const double file_mb = static_cast<double>(st.st_size) / (1024.0 * 1024.0);
    const double peak_mb = static_cast<double>(ru.ru_maxrss) / 1024.0;
    std::printf("file: %.1f MiB (%s), one string value of %d MiB\n", file_mb, utf16 ? "version 5, UTF-16" : "REGEDIT4",
                mb);
    std::printf("peak memory of the importing process: %.1f MiB, %.2f x the file\n", peak_mb, peak_mb / file_mb);
    return peak_mb < 2.5 * file_mb ? 0 : 2;
}

// ---- mode-and-links --------------------------------------------------------------

int ModeAndLinks() {
    const std::string dir = MakeDir();
    const std::string path = dir + "/hive.reg";
    std::string error;
    hostwin::RegistryClear();
    SetNumber(kStressKey, "v", 1);
    if (!hostwin::RegistrySave(path, &error)) Die(error);
    struct stat st;
    stat(path.c_str(), &st);
    std::printf("new hive: mode %03o\n", st.st_mode & 0777);
    chmod(path.c_str(), 0600);
    if (!hostwin::RegistrySave(path, &error)) Die(error);
    stat(path.c_str(), &st);
    std::printf("hive of mode 600 after one save: mode %03o\n", st.st_mode & 0777);

    const std::string target = dir + "/target.reg";
    const std::string link = dir + "/link.reg";
    if (!hostwin::RegistrySave(target, &error)) Die(error);
    if (symlink("target.reg", link.c_str()) != 0) Die("cannot make a symbolic link");
    SetNumber(kStressKey, "v", 2);
    if (!hostwin::RegistrySave(link, &error)) Die(error);
    struct stat lst;
    lstat(link.c_str(), &lst);
    const bool still_link = S_ISLNK(lst.st_mode);
    const bool target_new = Read(target) == hostwin::RegistryExportText();
    std::printf("save through a symbolic link: the link %s, the target %s\n",
                still_link ? "stays a link" : "became a plain file",
                target_new ? "has the new content" : "keeps its old content");
    RemoveDir(dir);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: hivestress lost-writes [PROCS [WRITES [plain]]]\n"
                 "       hivestress kills [KEYS [COUNT]]\n"
                 "       hivestress import-peak [MB [utf16]]\n"
                 "       hivestress mode-and-links\n");
    return 2;
}

int Arg(int argc, char** argv, int i, int fallback) {
    if (i >= argc) return fallback;
    int v = std::atoi(argv[i]);
    if (v <= 0) Die(std::string("not a positive number: ") + argv[i]);
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string cmd = argv[1];
    if (cmd == "lost-writes")
        return LostWrites(Arg(argc, argv, 2, 8), Arg(argc, argv, 3, 100), argc > 4 && std::string(argv[4]) == "plain");
    if (cmd == "kills") return Kills(Arg(argc, argv, 2, 20000), Arg(argc, argv, 3, 400));
    if (cmd == "import-peak") return ImportPeak(Arg(argc, argv, 2, 100), argc > 3 && std::string(argv[3]) == "utf16");
    if (cmd == "mode-and-links") return ModeAndLinks();
    return Usage();
}
