// Stand-in dialog template reader; see dialog_template.h.
#include "dialog_template.h"

#include <cstring>

namespace hostwin {
namespace {

constexpr uint32_t kSetFont = 0x40;    // DS_SETFONT
constexpr uint32_t kShellFont = 0x48;  // DS_SHELLFONT: DS_SETFONT | DS_FIXEDSYS

// Windows-1252 for U+0080 to U+009F positions 0x80 to 0x9F; 0 where the code
// page has no character.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char Narrow(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] == c && c != 0) return static_cast<char>(0x80 + i);
    }
    return '?';
}

class Reader {
public:
    Reader(const void* data, size_t size) : bytes_(static_cast<const uint8_t*>(data)), size_(size) {}

    bool Word(uint16_t* out) {
        if (pos_ > size_ || size_ - pos_ < 2) return Fail("ends inside a word");
        *out = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool Dword(uint32_t* out) {
        uint16_t lo = 0, hi = 0;
        if (!Word(&lo) || !Word(&hi)) return false;
        *out = lo | (static_cast<uint32_t>(hi) << 16);
        return true;
    }
    bool Short(int16_t* out) {
        uint16_t w = 0;
        if (!Word(&w)) return false;
        *out = static_cast<int16_t>(w);
        return true;
    }
    bool Byte(uint8_t* out) {
        if (pos_ >= size_) return Fail("ends inside a byte");
        *out = bytes_[pos_++];
        return true;
    }
    // A zero-terminated UTF-16 text.
    bool Text(std::string* out) {
        std::u16string wide;
        for (;;) {
            uint16_t c = 0;
            if (!Word(&c)) return Fail("text without its terminator");
            if (c == 0) break;
            wide.push_back(static_cast<char16_t>(c));
        }
        *out = NarrowText(wide.data(), wide.size());
        return true;
    }
    // None (0), an ordinal (0xFFFF, number) or a text.
    bool TextOrOrdinal(uint16_t* ordinal, std::string* text) {
        uint16_t first = 0;
        if (!Word(&first)) return false;
        if (first == 0) return true;
        if (first == 0xFFFF) return Word(ordinal);
        pos_ -= 2;
        return Text(text);
    }
    bool AlignDword() {
        pos_ = (pos_ + 3) & ~static_cast<size_t>(3);
        if (pos_ > size_) return Fail("ends before an item");
        return true;
    }
    bool Bytes(size_t n, std::vector<uint8_t>* out) {
        if (n > size_ - pos_) return Fail("creation data runs past the end");
        out->assign(bytes_ + pos_, bytes_ + pos_ + n);
        pos_ += n;
        return true;
    }
    const std::string& error() const { return error_; }

private:
    bool Fail(const char* why) {
        if (error_.empty()) error_ = why;
        return false;
    }
    const uint8_t* bytes_;
    size_t size_;
    size_t pos_ = 0;
    std::string error_;
};

bool ReadItem(Reader& r, bool extended, DialogItemTemplate* item) {
    if (!r.AlignDword()) return false;
    if (extended) {
        if (!r.Dword(&item->help_id) || !r.Dword(&item->ex_style) || !r.Dword(&item->style)) return false;
    } else {
        if (!r.Dword(&item->style) || !r.Dword(&item->ex_style)) return false;
    }
    if (!r.Short(&item->x) || !r.Short(&item->y) || !r.Short(&item->cx) || !r.Short(&item->cy)) return false;
    if (extended) {
        if (!r.Dword(&item->id)) return false;
    } else {
        uint16_t id = 0;
        if (!r.Word(&id)) return false;
        item->id = id;
    }
    if (!r.TextOrOrdinal(&item->class_ordinal, &item->class_name)) return false;
    if (!r.TextOrOrdinal(&item->title_ordinal, &item->title)) return false;
    uint16_t extra = 0;
    if (!r.Word(&extra)) return false;
    // A plain template counts the size word itself; an extended one does not.
    size_t data = extended ? extra : (extra >= 2 ? extra - 2u : 0u);
    return r.Bytes(data, &item->creation_data);
}

}  // namespace

std::string NarrowText(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) out.push_back(Narrow(text[i]));
    return out;
}

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error) {
    *out = DialogTemplate{};
    Reader r(data, size);
    uint16_t first = 0, second = 0;
    bool ok = r.Word(&first) && r.Word(&second);
    uint16_t count = 0;
    if (ok && first == 1 && second == 0xFFFF) {
        out->extended = true;
        ok = r.Dword(&out->help_id) && r.Dword(&out->ex_style) && r.Dword(&out->style);
    } else if (ok) {
        out->style = first | (static_cast<uint32_t>(second) << 16);
        ok = r.Dword(&out->ex_style);
    }
    ok = ok && r.Word(&count) && r.Short(&out->x) && r.Short(&out->y) && r.Short(&out->cx) && r.Short(&out->cy);
    ok = ok && r.TextOrOrdinal(&out->menu_ordinal, &out->menu);
    ok = ok && r.TextOrOrdinal(&out->class_ordinal, &out->class_name);
    ok = ok && r.Text(&out->title);
    if (ok && ((out->style & kSetFont) || (out->style & kShellFont) == kShellFont)) {
        ok = r.Word(&out->point_size);
        if (ok && out->extended) ok = r.Word(&out->weight) && r.Byte(&out->italic) && r.Byte(&out->charset);
        ok = ok && r.Text(&out->face);
    }
    for (uint16_t i = 0; ok && i < count; ++i) {
        DialogItemTemplate item;
        ok = ReadItem(r, out->extended, &item);
        if (ok) out->items.push_back(std::move(item));
    }
    if (!ok && error != nullptr) *error = r.error();
    return ok;
}

}  // namespace hostwin
