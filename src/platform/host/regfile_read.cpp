// Reading regedit files into the registry: RegistryImport,
// RegistryImportText and the loading of a hive session.
//
// Both formats regedit writes are read: "REGEDIT4" (8-bit text) and
// "Windows Registry Editor Version 5.00" (UTF-16LE with a byte-order mark).
// UTF-16 text is first narrowed in place to 8 bits (code points below 256
// become that byte, others '?'), so one parser serves both. Where a key or
// value name held a character that narrowing turned into '?', the file is
// refused: two names that differ only there would otherwise become one.
//
// The whole file is parsed twice over the same buffer: a first pass that
// only checks it, then, if it is sound, a second that applies it. A bad file
// thus leaves the registry exactly as it was, and no list of pending
// operations has to be held in memory. The second pass decodes quoted
// strings in place, so a large string value costs the file buffer and its
// copy in the store, nothing more.
//
// Whatever is accepted can be written back: a key name with a line break,
// which a registry file cannot carry, is refused here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"
#include "registry_store.h"

namespace hostwin {
namespace {

using reg::Key;
using reg::Root;
using reg::Store;

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && reg::NamesEqual(s.substr(0, prefix.size()), prefix);
}

std::string Snippet(std::string_view s) {
    constexpr size_t kMax = 40;
    std::string out(s.substr(0, kMax));
    if (s.size() > kMax) out += "...";
    return out;
}

// Output positions of the narrowed text whose character the 8-bit code
// page lacks (one bit each; empty while there is none).
class UnmappableMarks {
public:
    void Mark(size_t pos) {
        if (bits_.size() <= pos / 64) bits_.resize(pos / 64 + 1, 0);
        bits_[pos / 64] |= uint64_t(1) << (pos % 64);
    }
    // Whether any position in [from, from + count) is marked.
    bool Any(size_t from, size_t count) const {
        for (size_t i = from; i < from + count && i / 64 < bits_.size(); ++i)
            if (bits_[i / 64] >> (i % 64) & 1) return true;
        return false;
    }
    bool Empty() const { return bits_.empty(); }

private:
    std::vector<uint64_t> bits_;
};

// Narrows UTF-16LE (after its byte-order mark) to 8 bits in place; returns
// the new length. Each code point becomes one byte: itself below 256, '?'
// otherwise (a surrogate pair is one code point). An odd last byte is kept.
// `marks`, if given, records where a '?' stands for another character.
size_t NarrowUtf16(unsigned char* p, size_t n, UnmappableMarks* marks = nullptr) {
    size_t out = 0, i = 0;
    for (; i + 1 < n; i += 2) {
        unsigned cu = p[i] | unsigned(p[i + 1]) << 8;
        if (cu >= 0xD800 && cu < 0xDC00 && i + 3 < n) {
            unsigned next = p[i + 2] | unsigned(p[i + 3]) << 8;
            if (next >= 0xDC00 && next < 0xE000) i += 2;
        }
        if (cu >= 256 && marks) marks->Mark(out);
        p[out++] = cu < 256 ? static_cast<unsigned char>(cu) : '?';
    }
    if (i < n) p[out++] = p[i];
    return out;
}

template <bool kApply>
class Parser {
public:
    // `text` is only written by the applying pass, and only in the line it
    // is reading.
    Parser(char* text, size_t size, const std::string& name, bool utf16_strings, const UnmappableMarks* marks,
           Store* store)
        : text_(text),
          p_(text),
          end_(text + size),
          name_(name),
          utf16_strings_(utf16_strings),
          marks_(marks),
          store_(store) {}

    // Parses everything after the header line (line 1).
    bool Run(std::string* error) {
        error_ = error;
        line_ = 1;
        SkipLine();
        std::string_view line;
        while (NextLine(&line)) {
            if (line.empty() || line[0] == ';') continue;
            bool ok;
            if (line[0] == '[')
                ok = Section(line);
            else if (line[0] == '"' || line[0] == '@')
                ok = Value(line);
            else
                ok = Fail("unrecognised line \"" + Snippet(line) + "\"");
            if (!ok) return false;
        }
        FinishSection();
        return true;
    }

private:
    // ---- Lines --------------------------------------------------------------

    void SkipLine() {
        const char* nl = static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
        p_ = nl ? nl + 1 : end_;
    }

    // The next line without its end, leading and trailing blanks.
    bool NextLine(std::string_view* out) {
        if (p_ >= end_) return false;
        ++line_;
        const char* start = p_;
        const char* nl = static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
        const char* stop = nl ? nl : end_;
        p_ = nl ? nl + 1 : end_;
        while (stop > start && (stop[-1] == '\r' || IsBlank(stop[-1]))) --stop;
        while (start < stop && IsBlank(*start)) ++start;
        *out = std::string_view(start, static_cast<size_t>(stop - start));
        return true;
    }

    bool Fail(const std::string& what) {
        if (error_) *error_ = name_ + ":" + std::to_string(line_) + ": " + what;
        return false;
    }

    // ---- Sections -------------------------------------------------------------

    bool Section(std::string_view line) {
        if (line.back() != ']' || line.size() < 2) return Fail("bad section line \"" + Snippet(line) + "\"");
        std::string_view path = line.substr(1, line.size() - 2);
        bool remove = !path.empty() && path[0] == '-';
        if (remove) path.remove_prefix(1);
        size_t sep = path.find('\\');
        std::string_view root_name = path.substr(0, sep);
        Root root;
        if (!reg::ParseRootName(root_name, false, &root))
            return Fail("unknown root key \"" + Snippet(root_name) + "\"");
        std::string_view rest = sep == std::string_view::npos ? std::string_view() : path.substr(sep + 1);
        if (reg::SplitPath(rest, &parts_) != ERROR_SUCCESS) {
            // A leading backslash here is a doubled separator: skip it like
            // the others; only an over-long name is an error.
            while (!rest.empty() && rest[0] == '\\') rest.remove_prefix(1);
            if (reg::SplitPath(rest, &parts_) != ERROR_SUCCESS)
                return Fail("key name longer than " + std::to_string(reg::kMaxKeyNameLength) + " characters");
        }
        if (parts_.size() > reg::kMaxDepth)
            return Fail("key path deeper than " + std::to_string(reg::kMaxDepth) + " levels");
        if (remove && parts_.empty()) return Fail("a root key cannot be deleted");
        for (std::string_view part : parts_) {
            if (part.find_first_of("\r\n") != std::string_view::npos)
                return Fail("key name \"" + Snippet(part) +
                            "\" holds a line break, which a registry file cannot carry");
        }
        if (LacksCodePage(path))
            return Fail("key name \"" + Snippet(path) +
                        "\" holds a character outside the 8-bit code page; such names cannot be kept apart");
        in_section_ = true;
        if constexpr (kApply) {
            FinishSection();
            Key* k = store_->RootKey(root);
            if (remove) {
                k = store_->Find(k, parts_);
                if (k) store_->RemoveTree(k);
                current_ = nullptr;  // values under a deleted key are ignored
            } else {
                bool created;
                for (std::string_view part : parts_) k = store_->ChildFor(k, part, &created);
                current_ = k;
            }
        }
        return true;
    }

    void FinishSection() {
        if constexpr (kApply) {
            if (current_) store_->CompactValues(current_);
            current_ = nullptr;
        }
    }

    // ---- Values ---------------------------------------------------------------

    // Reads a quoted string starting at s[*pos] (the opening quote), handing
    // its decoded bytes to `sink(const char*, size_t)` run by run.
    template <typename Sink>
    bool Unquote(std::string_view s, size_t* pos, Sink&& sink) {
        size_t i = *pos + 1;
        while (true) {
            // The plain run in one go.
            size_t j = i;
            while (j < s.size() && s[j] != '"' && s[j] != '\\') ++j;
            sink(s.data() + i, j - i);
            if (j >= s.size()) return Fail("unterminated string");
            if (s[j] == '"') {
                *pos = j + 1;
                return true;
            }
            if (j + 1 >= s.size()) return Fail("unterminated string");
            static constexpr char kBackslash = '\\', kQuote = '"', kLineFeed = '\n', kReturn = '\r';
            switch (s[j + 1]) {
                case '\\':
                    sink(&kBackslash, 1);
                    break;
                case '"':
                    sink(&kQuote, 1);
                    break;
                // Wine's regedit writes line breaks inside strings this way.
                case 'n':
                    sink(&kLineFeed, 1);
                    break;
                case 'r':
                    sink(&kReturn, 1);
                    break;
                default:
                    return Fail(std::string("bad escape sequence \"\\") + s[j + 1] + "\"");
            }
            i = j + 2;
        }
    }

    // A quoted name, copied out.
    bool QuotedName(std::string_view s, size_t* pos, std::string* out) {
        out->clear();
        return Unquote(s, pos, [out](const char* p, size_t n) { out->append(p, n); });
    }

    // A quoted string value. The checking pass only reads it; the applying
    // pass decodes it in place over its own text (the decoded bytes never
    // overtake the reading) and points *data at the result, which it ends
    // with a zero where the closing quote or an escape was.
    bool QuotedData(std::string_view s, size_t* pos, char** data, size_t* size) {
        if constexpr (kApply) {
            char* out = text_ + (s.data() + *pos - text_);
            *data = out;
            *size = 0;
            if (!Unquote(s, pos, [&](const char* p, size_t n) {
                    std::memmove(out + *size, p, n);
                    *size += n;
                }))
                return false;
            out[*size] = '\0';
            return true;
        } else {
            *data = nullptr;
            *size = 0;
            return Unquote(s, pos, [](const char*, size_t) {});
        }
    }

    // Whether narrowing UTF-16 turned a character of `s` (a piece of the
    // text) into '?'.
    bool LacksCodePage(std::string_view s) const {
        return marks_ && !marks_->Empty() && marks_->Any(static_cast<size_t>(s.data() - text_), s.size());
    }

    bool Value(std::string_view line) {
        if (!in_section_) return Fail("value outside of any section");
        size_t pos;
        if (line[0] == '@') {
            value_name_.clear();
            pos = 1;
        } else {
            pos = 0;
            if (!QuotedName(line, &pos, &value_name_)) return false;
            if (value_name_.size() > reg::kMaxValueNameLength)
                return Fail("value name longer than " + std::to_string(reg::kMaxValueNameLength) + " characters");
            if (LacksCodePage(line.substr(0, pos)))
                return Fail("value name \"" + Snippet(value_name_) +
                            "\" holds a character outside the 8-bit code page; such names cannot be kept apart");
        }
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') return Fail("expected '=' after the value name");
        ++pos;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        std::string_view rest = line.substr(pos);

        uint32_t type;
        const unsigned char* data = nullptr;  // the value's bytes: data_ unless said otherwise
        size_t size = 0;
        if (rest == "-") {
            if constexpr (kApply) {
                if (current_) store_->DeleteValue(current_, value_name_);
            }
            return true;
        } else if (!rest.empty() && rest[0] == '"') {
            size_t end = 0;
            char* text = nullptr;
            if (!QuotedData(rest, &end, &text, &size)) return false;
            if (end != rest.size()) return Fail("unexpected text after the string");
            type = REG_SZ;
            data = reinterpret_cast<const unsigned char*>(text);
            ++size;  // the terminator
        } else if (StartsWithNoCase(rest, "dword:")) {
            std::string_view digits = rest.substr(6);
            if (digits.empty() || digits.size() > 8) return Fail("bad dword value \"" + Snippet(rest) + "\"");
            uint32_t d = 0;
            for (char c : digits) {
                int h = HexDigit(c);
                if (h < 0) return Fail("bad dword value \"" + Snippet(rest) + "\"");
                d = d << 4 | static_cast<uint32_t>(h);
            }
            type = REG_DWORD;
            data_.resize(4);
            for (int i = 0; i < 4; ++i) data_[i] = static_cast<unsigned char>(d >> (8 * i));
        } else if (StartsWithNoCase(rest, "hex:") || StartsWithNoCase(rest, "hex(")) {
            size_t i = 3;
            type = REG_BINARY;
            if (rest[3] == '(') {
                size_t close = rest.find(')');
                std::string_view t = close == std::string_view::npos ? std::string_view() : rest.substr(4, close - 4);
                if (t.empty() || t.size() > 8) return Fail("bad value type in \"" + Snippet(rest) + "\"");
                type = 0;
                for (char c : t) {
                    int h = HexDigit(c);
                    if (h < 0) return Fail("bad value type in \"" + Snippet(rest) + "\"");
                    type = type << 4 | static_cast<uint32_t>(h);
                }
                i = close + 1;
                if (i >= rest.size() || rest[i] != ':')
                    return Fail("expected ':' after \"" + Snippet(rest.substr(0, i)) + "\"");
            }
            if (!HexBytes(rest.substr(i + 1))) return false;
            // Version 5 files hold the strings of these types as UTF-16; the
            // applet reads them through the 8-bit functions.
            if (kApply && utf16_strings_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
                data_.resize(NarrowUtf16(data_.data(), data_.size()));
        } else {
            return Fail("unknown value data \"" + Snippet(rest) + "\"");
        }
        if (!data) {
            data = data_.data();
            size = data_.size();
        }
        if constexpr (kApply) {
            if (current_ && (size > UINT32_MAX ||
                             !store_->SetValue(current_, value_name_, type, data, static_cast<uint32_t>(size))))
                return Fail("value too large");
        }
        return true;
    }

    // Comma-separated bytes, possibly continued over several lines with a
    // trailing backslash.
    bool HexBytes(std::string_view s) {
        data_.clear();
        size_t i = 0;
        bool expect_byte = true;  // false right after a byte: a comma or the end must come
        while (true) {
            while (i < s.size() && IsBlank(s[i])) ++i;
            if (i >= s.size()) return true;
            if (s[i] == '\\' && i + 1 == s.size()) {
                // Continued: the data goes on on the next line.
                std::string_view next;
                int at = line_;
                if (!NextLine(&next) || next.empty()) {
                    line_ = at;
                    return Fail("hex data continued past the end of the value");
                }
                s = next;
                i = 0;
                continue;
            }
            if (!expect_byte) {
                if (s[i] != ',') return Fail("bad hex byte \"" + Snippet(s.substr(i)) + "\"");
                ++i;
                expect_byte = true;
                continue;
            }
            int hi = HexDigit(s[i]);
            int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
            size_t len = lo >= 0 ? 2 : 1;
            if (hi < 0 || (i + len < s.size() && HexDigit(s[i + len]) >= 0))
                return Fail("bad hex byte \"" + Snippet(s.substr(i)) + "\"");
            if constexpr (kApply) data_.push_back(static_cast<unsigned char>(lo >= 0 ? hi << 4 | lo : hi));
            i += len;
            expect_byte = false;
        }
    }

    char* const text_;
    const char* p_;
    const char* end_;
    const std::string& name_;
    bool utf16_strings_;
    const UnmappableMarks* marks_;
    Store* store_;
    std::string* error_ = nullptr;
    int line_ = 0;
    bool in_section_ = false;
    Key* current_ = nullptr;
    reg::PathParts parts_;
    std::string value_name_;
    std::vector<unsigned char> data_;
};

// Parses `text` (modified in place) and, if it is sound, applies it to the
// registry: merged into it, or replacing it when `replace` is set.
bool ImportBuffer(char* text, size_t size, const std::string& name, bool replace, std::string* error) {
    auto fail = [&](int line, const std::string& what) {
        if (error) *error = name + ":" + std::to_string(line) + ": " + what;
        return false;
    };
    unsigned char* u = reinterpret_cast<unsigned char*>(text);
    UnmappableMarks marks;
    if (size >= 2 && u[0] == 0xFF && u[1] == 0xFE) {
        if (size % 2) return fail(1, "UTF-16 text with an odd number of bytes");
        size = NarrowUtf16(u + 2, size - 2, &marks);
        std::memmove(text, text + 2, size);
    } else if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
        text += 3;
        size -= 3;
    }
    const char* nl = static_cast<const char*>(std::memchr(text, '\n', size));
    std::string_view header(text, nl ? static_cast<size_t>(nl - text) : size);
    while (!header.empty() && (header.back() == '\r' || IsBlank(header.back()))) header.remove_suffix(1);
    bool v5;
    if (header == kHeader4)
        v5 = false;
    else if (header == kHeader5)
        v5 = true;
    else
        return fail(1,
                    "unknown header \"" + Snippet(header) + "\" (expected REGEDIT4 or " + std::string(kHeader5) + ")");

    Store& s = Store::Instance();
    if (!Parser<false>(text, size, name, v5, &marks, &s).Run(error)) return false;
    std::lock_guard<std::mutex> lock(s.Mutex());
    if (replace) s.Clear();
    return Parser<true>(text, size, name, v5, &marks, &s).Run(error);
}

// Reads a whole regular file into `*out` (one byte more than its size, for
// the parser's convenience). `*missing` tells a file that does not exist.
bool ReadWholeFile(const std::string& path, std::unique_ptr<char[]>* out, size_t* size, bool* missing,
                   std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = path + ": " + what;
        return false;
    };
    *missing = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *missing = errno == ENOENT;
        return fail(std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return fail(std::string("cannot stat: ") + std::strerror(e));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("not a regular file");
    }
    *size = static_cast<size_t>(st.st_size);
    out->reset(new char[*size + 1]);
    size_t got = 0;
    while (got < *size) {
        ssize_t n = ::read(fd, out->get() + got, *size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int e = n < 0 ? errno : 0;
            ::close(fd);
            return fail(e ? std::string("read failed: ") + std::strerror(e) : "file shrank while being read");
        }
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    return true;
}

}  // namespace

bool RegistryImportText(const std::string& text, const std::string& name, std::string* error) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.data(), text.size());
    return ImportBuffer(copy.get(), text.size(), name, false, error);
}

bool RegistryImport(const std::string& path, std::string* error) {
    // Read once, parse in place.
    std::unique_ptr<char[]> buf;
    size_t size = 0;
    bool missing = false;
    if (!ReadWholeFile(path, &buf, &size, &missing, error)) return false;
    return ImportBuffer(buf.get(), size, path, false, error);
}

bool HiveSession::Load(std::string* error) {
    if (!IsOpen()) {
        if (error) *error = "no hive session is open";
        return false;
    }
    std::unique_ptr<char[]> buf;
    size_t size = 0;
    bool missing = false;
    if (!ReadWholeFile(target_, &buf, &size, &missing, error)) {
        if (!missing) return false;
        // A hive that does not exist yet is an empty registry; the first
        // save creates the file.
        RegistryClear();
        return true;
    }
    return ImportBuffer(buf.get(), size, path_, true, error);
}

}  // namespace hostwin
