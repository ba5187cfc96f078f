// Host controls of the registry: emptying it, importing and saving regedit
// files, hive files used in sessions, and reading a whole subtree without
// going through the Reg* functions one name at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

// Empties the whole registry (all roots) and invalidates open handles.
void RegistryClear();

// Imports a file in either format regedit exports ("REGEDIT4" 8-bit text, or
// "Windows Registry Editor Version 5.00" UTF-16LE with byte-order mark) into
// the registry, merging like regedit does ([-KEY] sections delete).
// On any error nothing changes and `error` names the file and line.
bool RegistryImport(const std::string& path, std::string* error);
// The same from text already in memory; `name` is used in error messages.
bool RegistryImportText(const std::string& text, const std::string& name, std::string* error);

// Saves the whole registry (or the subtree `root`, a full name such as
// "HKEY_LOCAL_MACHINE\\Software\\X"; empty for everything) as REGEDIT4.
// Saved as a HiveSession saves (below), under the file's exclusive lock for
// the time of the save; a lock held longer than kHiveLockWait fails it.
bool RegistrySave(const std::string& path, std::string* error, const std::string& root = "");
// The REGEDIT4 text of the registry or of the subtree `root`.
std::string RegistryExportText(const std::string& root = "");

// ---- Hive sessions ---------------------------------------------------------
//
// A hive is a REGEDIT4 file that holds the whole registry of a program run.
// A session holds the hive's lock from opening to closing, so a program that
// loads the hive, changes the registry and saves it never loses another's
// write and never reads a hive that another session is in the middle of
// changing:
//
//     hostwin::HiveSession hive;
//     if (!hive.Open(path, hostwin::HiveLock::kExclusive, hostwin::kHiveLockWait, &error) ||
//         !hive.Load(&error))
//         ...;
//     ... Reg* calls ...
//     if (!hive.Save(&error)) ...;
//     // the lock goes with `hive`
//
// The lock is a hidden file beside the hive (".NAME.lock"), taken with
// flock(2): the kernel releases it when its holder exits, however it exits.
// A hive path that is a symbolic link is followed: the target is locked,
// loaded and replaced, the link stays.
//
// Saving is atomic: the text goes to a hidden temporary beside the file
// (".NAME.tmp.PID.N"), which is flushed to disk and renamed over the hive,
// so a reader or a crash sees the old content or the new, never a mix. A
// save first removes the temporaries of savers whose process is gone. The
// saved file keeps the mode of the file it replaces (and, for root, its
// owner); a new hive is created with mode 0600, since it holds key texts.

enum class HiveLock {
    kShared,     // readers: any number at once, no writer meanwhile
    kExclusive,  // one writer, nobody else
};

// How long a RegistrySave waits for a hive's lock, and a fair wait for a
// session of a program run.
constexpr std::chrono::milliseconds kHiveLockWait{10000};

class HiveSession {
public:
    HiveSession() = default;
    ~HiveSession() { Close(); }
    HiveSession(HiveSession&& other) noexcept;
    HiveSession& operator=(HiveSession&& other) noexcept;
    HiveSession(const HiveSession&) = delete;
    HiveSession& operator=(const HiveSession&) = delete;

    // Takes the lock of the hive at `path`, waiting at most `wait` while
    // another process holds it (a zero wait tries once). A hive that does not
    // exist yet can be opened; its directory must exist. False, with the
    // reason in `error`, when the lock could not be had; a lock that stays
    // taken is reported with the holder's process id where it is known.
    // A session that is open is closed first.
    bool Open(const std::string& path, HiveLock lock, std::chrono::milliseconds wait, std::string* error);
    bool IsOpen() const { return open_; }

    // Replaces the whole registry with the hive's content (open handles
    // become invalid, as after RegistryClear). A hive that does not exist
    // yet gives an empty registry. A bad file changes nothing, and `error`
    // names the file and the line.
    bool Load(std::string* error);

    // Saves the whole registry to the hive; exclusive sessions only. The
    // session keeps the lock, so it can save again.
    bool Save(std::string* error);

    // Releases the lock (also done by the destructor). In a child process
    // made by fork() while the session was open, only the child's copy of
    // the descriptor is closed: the lock stays with the parent.
    void Close();

    const std::string& Path() const { return path_; }  // as given to Open

private:
    friend bool RegistrySave(const std::string& path, std::string* error, const std::string& root);

    std::string path_;
    std::string target_;  // path_ with symbolic links followed
    int lock_fd_ = -1;    // -1 also for a shared session where no lock file could be made
    int owner_pid_ = 0;   // the process that opened it: a child after fork() shares the lock, never releases it
    HiveLock lock_ = HiveLock::kShared;
    bool open_ = false;
};

// Number of registry handles currently open (predefined roots excluded).
size_t RegistryOpenHandleCount();

struct RegistryValueCopy {
    std::string name;  // "" for the default value
    uint32_t type = 0;
    std::string data;  // the bytes exactly as stored
};

struct RegistryKeyCopy {
    std::string path;                       // full name, e.g. "HKEY_LOCAL_MACHINE\\Software\\X"
    std::vector<RegistryValueCopy> values;  // insertion order
};

// Copies the subtree `root` (a full name; "HKLM\\..." style short roots are
// accepted too) in export order: parents before children, children in
// enumeration order. Returns false if the key does not exist.
bool RegistryCopyTree(const std::string& root, std::vector<RegistryKeyCopy>* out);

}  // namespace hostwin
