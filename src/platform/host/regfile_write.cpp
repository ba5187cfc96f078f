// Writing the registry as a REGEDIT4 file, the 8-bit format regedit reads
// on every Windows version: RegistryExportText, the atomic RegistrySave,
// and the hive session's lock and save (its load is with the reader).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "hostctl.h"
#include "hostwin.h"
#include "registry_store.h"

namespace hostwin {
namespace {

using reg::Key;
using reg::Root;
using reg::Store;
using reg::ValueRef;

constexpr char kHexDigits[] = "0123456789abcdef";
// regedit wraps hex data so that a line holds at most this many columns
// before the backslash that continues it; the data goes on after two spaces.
constexpr size_t kWrapColumn = 77;
constexpr size_t kFlushSize = 1 << 20;

class Writer {
public:
    // fd < 0: everything stays in text(); otherwise written out in chunks.
    explicit Writer(int fd) : fd_(fd) {}

    std::string& Text() { return buf_; }
    int Error() const { return errno_; }
    // A key name with a line break: no registry file can carry it.
    bool UnwritableName() const { return unwritable_name_; }

    void Header() { buf_ += "REGEDIT4\r\n\r\n"; }

    void Tree(const Key* k, std::string& path) {
        buf_ += '[';
        buf_ += path;
        buf_ += "]\r\n";
        reg::ValueCursor c(k);
        ValueRef v;
        while (c.Next(&v)) Value(v);
        buf_ += "\r\n";
        MaybeFlush();
        for (const Key* child : k->children) {
            size_t len = path.size();
            path += '\\';
            path += child->Name();
            if (child->Name().find_first_of("\r\n") != std::string_view::npos) unwritable_name_ = true;
            Tree(child, path);
            path.resize(len);
        }
    }

    bool Flush() {
        if (fd_ < 0 || errno_) return errno_ == 0;
        const char* p = buf_.data();
        size_t left = buf_.size();
        while (left) {
            ssize_t n = ::write(fd_, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                errno_ = errno;
                break;
            }
            p += n;
            left -= static_cast<size_t>(n);
        }
        buf_.clear();
        return errno_ == 0;
    }

private:
    void MaybeFlush() {
        if (fd_ >= 0 && buf_.size() >= kFlushSize) Flush();
    }

    // Appends s between quotes with \ and " escaped, and line breaks written
    // as \r and \n the way regedit's version 5 export writes them (only a
    // value name can hold one here: such strings go out as hex). Returns the
    // columns used.
    size_t Quoted(const unsigned char* s, size_t n) {
        size_t start = buf_.size();
        buf_ += '"';
        for (size_t i = 0; i < n; ++i) {
            char c = static_cast<char>(s[i]);
            if (c == '\r' || c == '\n') {
                buf_ += c == '\r' ? "\\r" : "\\n";
                continue;
            }
            if (c == '\\' || c == '"') buf_ += '\\';
            buf_ += c;
        }
        buf_ += '"';
        return buf_.size() - start;
    }

    static bool PlainString(const ValueRef& v) {
        // Only a string with exactly one terminator, at its end, and on one
        // line can be written between quotes and read back byte for byte.
        if (v.type != REG_SZ || v.size == 0 || v.data[v.size - 1] != 0) return false;
        for (uint32_t i = 0; i + 1 < v.size; ++i)
            if (v.data[i] == 0 || v.data[i] == '\r' || v.data[i] == '\n') return false;
        return true;
    }

    void Value(const ValueRef& v) {
        size_t col;
        if (v.name.empty()) {
            buf_ += '@';
            col = 1;
        } else {
            col = Quoted(reinterpret_cast<const unsigned char*>(v.name.data()), v.name.size());
        }
        buf_ += '=';
        ++col;
        if (PlainString(v)) {
            Quoted(v.data, v.size - 1);
        } else if (v.type == REG_DWORD && v.size == 4) {
            uint32_t d =
                uint32_t(v.data[0]) | uint32_t(v.data[1]) << 8 | uint32_t(v.data[2]) << 16 | uint32_t(v.data[3]) << 24;
            char tmp[16] = "dword:";
            for (int i = 0; i < 8; ++i) tmp[6 + i] = kHexDigits[(d >> (28 - 4 * i)) & 0xf];
            buf_.append(tmp, 14);
        } else {
            Hex(v, col);
        }
        buf_ += "\r\n";
    }

    void Hex(const ValueRef& v, size_t col) {
        size_t start = buf_.size();
        if (v.type == REG_BINARY) {
            buf_ += "hex:";
        } else {
            char tmp[24];
            int n = snprintf(tmp, sizeof tmp, "hex(%x):", static_cast<unsigned>(v.type));
            buf_.append(tmp, static_cast<size_t>(n));
        }
        col += buf_.size() - start;
        for (uint32_t i = 0; i < v.size; ++i) {
            // Wrap before a byte that would take the line past the column.
            // With a long value name that can be right after "hex:".
            if (col + 3 > kWrapColumn) {
                buf_ += "\\\r\n  ";
                col = 2;
            }
            buf_ += kHexDigits[v.data[i] >> 4];
            buf_ += kHexDigits[v.data[i] & 0xf];
            col += 3;
            if (i + 1 < v.size) buf_ += ',';
        }
    }

    int fd_;
    std::string buf_;
    int errno_ = 0;
    bool unwritable_name_ = false;
};

// Writes the registry (root empty) or the subtree `root`. False if `root`
// names no key. Call with the store locked.
bool WriteRegistry(Store& s, const std::string& root, Writer& w) {
    std::string path;
    if (!root.empty()) {
        Key* k = reg::FindByFullName(s, root, &path);
        if (!k) return false;
        w.Header();
        w.Tree(k, path);
        return true;
    }
    w.Header();
    for (int i = 0; i < static_cast<int>(Root::Count); ++i) {
        Key* k = s.RootKey(static_cast<Root>(i));
        if (k->children.empty() && k->value_count == 0) continue;
        path = reg::RootFullName(static_cast<Root>(i));
        w.Tree(k, path);
    }
    return true;
}

std::string ErrnoText(int e) {
    return std::strerror(e);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    // Closes now; returns close()'s errno (0 if fine).
    int Reset() {
        int e = 0;
        if (fd_ >= 0 && ::close(fd_) != 0) e = errno;
        fd_ = -1;
        return e;
    }

private:
    int fd_;
};

}  // namespace

std::string RegistryExportText(const std::string& root) {
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Writer w(-1);
    if (!WriteRegistry(s, root, w)) return "REGEDIT4\r\n\r\n";
    return std::move(w.Text());
}

namespace {

constexpr const char kLockSuffix[] = ".lock";
constexpr const char kTempInfix[] = ".tmp.";
constexpr int kMaxLinks = 40;  // as the kernel follows at most 40

std::string DirName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a hive path names: symbolic links in its last component followed
// (a link to a file that does not exist yet names that file).
bool FollowLinks(const std::string& path, std::string* target, std::string* error) {
    std::string p = path;
    for (int n = 0; n <= kMaxLinks; ++n) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno == ENOENT) break;
            *error = path + ": cannot look at " + p + ": " + ErrnoText(errno);
            return false;
        }
        if (!S_ISLNK(st.st_mode)) break;
        if (n == kMaxLinks) {
            *error = path + ": too many levels of symbolic links";
            return false;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        ssize_t len = ::readlink(p.c_str(), link.data(), link.size());
        if (len < 0) {
            *error = path + ": cannot read the link " + p + ": " + ErrnoText(errno);
            return false;
        }
        link.resize(static_cast<size_t>(len));
        p = (link.empty() || link[0] == '/') ? link : DirName(p) + "/" + link;
    }
    *target = p;
    return true;
}

// Exclusive sessions this process holds now: with none, a lock file that
// names this process is left from an earlier process with the same id.
std::atomic<int> g_exclusive_sessions{0};

std::string LockPath(const std::string& target) {
    return DirName(target) + "/." + BaseName(target) + kLockSuffix;
}

bool ProcessGone(long pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The process id that a lock file names (its exclusive holder writes it),
// or 0.
long LockHolder(int fd) {
    char text[32] = {};
    ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    char* end = nullptr;
    long pid = std::strtol(text, &end, 10);
    return (end != text && pid > 0) ? pid : 0;
}

void WriteHolder(int fd) {
    std::string text = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        ssize_t ignored = ::pwrite(fd, text.data(), text.size(), 0);
        (void)ignored;  // the id only improves an error message
    }
}

// Removes the temporaries ".BASE.tmp.PID.N" of savers whose process is gone:
// a saver killed before its rename leaves one behind, and nothing else ever
// would. A live process's temporaries stay (it may be saving right now, or
// its id was reused; then its leftovers wait for that process to end).
void RemoveDeadTemporaries(const std::string& dir, const std::string& base) {
    const std::string prefix = "." + base + kTempInfix;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0) continue;
        const char* digits = name + prefix.size();
        char* end = nullptr;
        long pid = std::strtol(digits, &end, 10);
        if (end == digits || *end != '.') continue;
        if (ProcessGone(pid)) ::unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
}

// Writes the registry (or `root`) to `target` by way of a temporary and a
// rename. The caller holds the hive's exclusive lock; `shown` names the hive
// in errors.
bool SaveTo(const std::string& target, const std::string& shown, const std::string& root, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = shown + ": " + what;
        return false;
    };
    const std::string dir = DirName(target);
    const std::string base = BaseName(target);
    if (base.empty()) return fail("not a file name");

    Fd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.Get() < 0) return fail("cannot open directory " + dir + ": " + ErrnoText(errno));
    RemoveDeadTemporaries(dir, base);

    // The file replaced gives the mode and owner; a new hive is private.
    struct stat old_st;
    const bool replacing = ::stat(target.c_str(), &old_st) == 0;
    if (replacing && S_ISDIR(old_st.st_mode)) return fail("cannot replace: " + ErrnoText(EISDIR));
    const mode_t mode = replacing ? (old_st.st_mode & 07777) : 0600;

    // A hidden temporary beside the target, so the rename stays in one file
    // system. Names left by a saver that is still alive are skipped.
    std::string tmp;
    int f = -1;
    const std::string stem = dir + "/." + base + kTempInfix + std::to_string(::getpid()) + ".";
    for (unsigned n = 0;; ++n) {
        tmp = stem + std::to_string(n);
        f = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (f >= 0) break;
        if (errno != EEXIST || n >= 1000) return fail("cannot create " + tmp + ": " + ErrnoText(errno));
    }
    Fd fd(f);
    auto fail_removing = [&](const std::string& what) {
        fd.Reset();
        ::unlink(tmp.c_str());
        return fail(what);
    };
    if (replacing && (old_st.st_uid != ::geteuid() || old_st.st_gid != ::getegid())) {
        // Root keeps the owner; anyone else keeps at least the group where
        // allowed to (the file becomes the saver's, as any rewrite would).
        if (::fchown(fd.Get(), old_st.st_uid, old_st.st_gid) != 0) {
            if (::geteuid() == 0) return fail_removing("cannot keep the owner: " + ErrnoText(errno));
            // Not a member of that group: the saver's own group it is.
            const bool group_kept = ::fchown(fd.Get(), static_cast<uid_t>(-1), old_st.st_gid) == 0;
            (void)group_kept;
        }
    }
    // Explicitly, so that neither the umask nor fchown's clearing of the
    // set-id bits decides the mode.
    if (::fchmod(fd.Get(), mode) != 0) return fail_removing("cannot set the mode: " + ErrnoText(errno));

    {
        Store& s = Store::Instance();
        std::lock_guard<std::mutex> lock(s.Mutex());
        Writer w(fd.Get());
        if (!WriteRegistry(s, root, w)) return fail_removing("no such key: " + root);
        if (w.UnwritableName())
            return fail_removing("a key name holds a line break, which a registry file cannot carry");
        if (!w.Flush()) return fail_removing("write failed: " + ErrnoText(w.Error()));
    }
    if (::fsync(fd.Get()) != 0) return fail_removing("fsync failed: " + ErrnoText(errno));
    if (int e = fd.Reset()) return fail_removing("close failed: " + ErrnoText(e));
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail_removing("cannot replace: " + ErrnoText(errno));
    // Make the rename itself durable.
    ::fsync(dir_fd.Get());
    return true;
}

}  // namespace

HiveSession::HiveSession(HiveSession&& other) noexcept {
    *this = std::move(other);
}

HiveSession& HiveSession::operator=(HiveSession&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        lock_fd_ = std::exchange(other.lock_fd_, -1);
        owner_pid_ = other.owner_pid_;
        lock_ = other.lock_;
        open_ = std::exchange(other.open_, false);
    }
    return *this;
}

bool HiveSession::Open(const std::string& path, HiveLock lock, std::chrono::milliseconds wait, std::string* error) {
    Close();
    std::string local_error;
    if (!error) error = &local_error;
    std::string target;
    if (!FollowLinks(path, &target, error)) return false;
    if (BaseName(target).empty()) {
        *error = path + ": not a file name";
        return false;
    }
    const bool exclusive = lock == HiveLock::kExclusive;

    // The lock file is readable by whoever may read the hive, so that its
    // readers can take the shared lock.
    struct stat hive_st;
    const bool exists = ::stat(target.c_str(), &hive_st) == 0;
    if (exists && S_ISDIR(hive_st.st_mode)) {
        *error = path + ": " + ErrnoText(EISDIR);
        return false;
    }
    const mode_t lock_mode = exists ? (hive_st.st_mode & 0666) : 0600;
    const std::string lock_path = LockPath(target);
    int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, lock_mode);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        const int e = errno;
        if (!exclusive && (e == EACCES || e == EROFS)) {
            // Nobody can write here either: saves need the same directory.
            // The hive is read as it is; each save replaces it whole, so
            // what is read is one save's content.
            path_ = path;
            target_ = target;
            lock_ = lock;
            open_ = true;
            return true;
        }
        *error = path + ": cannot open the lock file " + lock_path + ": " + ErrnoText(e);
        return false;
    }

    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::microseconds(500);
    while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int e = errno;
        if (e == EINTR) continue;
        if (e != EWOULDBLOCK) {
            ::close(fd);
            *error = path + ": cannot lock " + lock_path + ": " + ErrnoText(e);
            return false;
        }
        const long holder = LockHolder(fd);
        const bool self = holder == static_cast<long>(::getpid()) && g_exclusive_sessions.load() > 0;
        const auto now = std::chrono::steady_clock::now();
        if (self || now >= deadline) {
            ::close(fd);
            if (self) {
                *error = path + ": this process holds the hive in a session of its own; load and save through it";
            } else {
                *error = path + ": the hive is locked by another process" +
                         (holder && !ProcessGone(holder) ? " (process " + std::to_string(holder) + ")" : "") +
                         ", which did not release it within " + std::to_string(wait.count()) + " ms";
            }
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    if (exclusive) {
        WriteHolder(fd);
        ++g_exclusive_sessions;
    }
    path_ = path;
    target_ = target;
    lock_fd_ = fd;
    owner_pid_ = static_cast<int>(::getpid());
    lock_ = lock;
    open_ = true;
    return true;
}

bool HiveSession::Save(std::string* error) {
    if (!open_ || lock_ != HiveLock::kExclusive) {
        if (error) *error = (open_ ? path_ + ": the session is read-only" : std::string("no hive session is open"));
        return false;
    }
    return SaveTo(target_, path_, "", error);
}

void HiveSession::Close() {
    if (lock_fd_ >= 0) {
        if (owner_pid_ == static_cast<int>(::getpid())) {
            // The holder's id goes before the lock does.
            if (lock_ == HiveLock::kExclusive) {
                const bool cleared = ::ftruncate(lock_fd_, 0) == 0;
                (void)cleared;  // a stale id is only ever shown while its process lives
                --g_exclusive_sessions;
            }
            ::flock(lock_fd_, LOCK_UN);
        }
        ::close(lock_fd_);
    }
    lock_fd_ = -1;
    open_ = false;
}

bool RegistrySave(const std::string& path, std::string* error, const std::string& root) {
    HiveSession hive;
    if (!hive.Open(path, HiveLock::kExclusive, kHiveLockWait, error)) return false;
    return SaveTo(hive.target_, path, root, error);
}

}  // namespace hostwin
