// Writing the registry as a REGEDIT4 file, the 8-bit format regedit reads
// on every Windows version: RegistryExportText and the atomic RegistrySave.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

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

    // Appends s between quotes with \ and " escaped; returns the columns used.
    size_t Quoted(const unsigned char* s, size_t n) {
        size_t start = buf_.size();
        buf_ += '"';
        for (size_t i = 0; i < n; ++i) {
            char c = static_cast<char>(s[i]);
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
            if (v.name.find_first_of("\r\n") != std::string_view::npos) unwritable_name_ = true;
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

bool RegistrySave(const std::string& path, std::string* error, const std::string& root) {
    auto fail = [&](const std::string& what) {
        if (error) *error = path + ": " + what;
        return false;
    };
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) return fail("not a file name");

    // The directory itself is the lock: two savers of files in it take turns,
    // and nothing is left behind to clean up.
    Fd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.Get() < 0) return fail("cannot open directory " + dir + ": " + ErrnoText(errno));
    while (::flock(dir_fd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return fail("cannot lock directory " + dir + ": " + ErrnoText(errno));
    }

    // A hidden temporary beside the target, so the rename stays in one file
    // system. Names left by a saver that crashed are skipped, not reused.
    std::string tmp;
    int f = -1;
    for (unsigned n = 0;; ++n) {
        tmp = dir + "/." + base + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(n);
        f = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f >= 0) break;
        if (errno != EEXIST || n >= 1000) return fail("cannot create " + tmp + ": " + ErrnoText(errno));
    }
    Fd fd(f);
    auto fail_removing = [&](const std::string& what) {
        fd.Reset();
        ::unlink(tmp.c_str());
        return fail(what);
    };

    {
        Store& s = Store::Instance();
        std::lock_guard<std::mutex> lock(s.Mutex());
        Writer w(fd.Get());
        if (!WriteRegistry(s, root, w)) return fail_removing("no such key: " + root);
        if (w.UnwritableName())
            return fail_removing("a key or value name holds a line break, which a registry file cannot carry");
        if (!w.Flush()) return fail_removing("write failed: " + ErrnoText(w.Error()));
    }
    if (::fsync(fd.Get()) != 0) return fail_removing("fsync failed: " + ErrnoText(errno));
    if (int e = fd.Reset()) return fail_removing("close failed: " + ErrnoText(e));
    if (::rename(tmp.c_str(), path.c_str()) != 0) return fail_removing("cannot replace: " + ErrnoText(errno));
    // Make the rename itself durable.
    ::fsync(dir_fd.Get());
    return true;
}

}  // namespace hostwin
