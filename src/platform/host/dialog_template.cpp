// The binary dialog template, as the dialog manager reads it. All numbers
// are little-endian; the template starts on a DWORD boundary and every item
// starts on the next DWORD boundary after the previous one, counted from the
// template's start. Strings are UTF-16 and end with a zero; a "name or
// ordinal" field is 0x0000 (none), 0xFFFF followed by a 16-bit ordinal, or a
// string.
#include "dialog_template.h"

namespace hostwin {
namespace {

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint16_t kExtendedSignature = 0xFFFF;

// Windows-1252 bytes 0x80 to 0x9F and the characters they stand for. The
// five bytes the code page leaves undefined stand for the C1 control of the
// same number, as the platform's own conversion tables have it.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Word(uint16_t* out) {
        if (size_ - pos_ < 2) return false;
        *out = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool Dword(uint32_t* out) {
        uint16_t lo = 0, hi = 0;
        if (size_ - pos_ < 4) return false;
        Word(&lo);
        Word(&hi);
        *out = static_cast<uint32_t>(lo) | static_cast<uint32_t>(hi) << 16;
        return true;
    }
    bool Short(int16_t* out) {
        uint16_t w = 0;
        if (!Word(&w)) return false;
        *out = static_cast<int16_t>(w);
        return true;
    }
    bool Byte(uint8_t* out) {
        if (size_ - pos_ < 1) return false;
        *out = data_[pos_++];
        return true;
    }
    bool Bytes(size_t count, std::vector<uint8_t>* out) {
        if (size_ - pos_ < count) return false;
        out->assign(data_ + pos_, data_ + pos_ + count);
        pos_ += count;
        return true;
    }
    // A zero-terminated UTF-16 string, narrowed.
    bool String(std::string* out) {
        out->clear();
        for (;;) {
            uint16_t c = 0;
            if (!Word(&c)) return false;
            if (c == 0) return true;
            *out += NarrowChar(c);
        }
    }
    // 0x0000: none; 0xFFFF and an ordinal; or a string.
    bool NameOrOrdinal(uint16_t* ordinal, std::string* name) {
        *ordinal = 0;
        name->clear();
        uint16_t first = 0;
        if (size_ - pos_ < 2) return false;
        const size_t start = pos_;
        Word(&first);
        if (first == 0) return true;
        if (first == 0xFFFF) return Word(ordinal);
        pos_ = start;
        return String(name);
    }
    bool AlignDword() {
        const size_t aligned = (pos_ + 3) & ~size_t{3};
        if (aligned > size_) return false;
        pos_ = aligned;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool Fail(std::string* error, const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
}

bool ReadItem(Reader& r, bool extended, DialogItemTemplate* item, std::string* error) {
    if (!r.AlignDword()) return Fail(error, "the template ends before an item");
    bool ok = true;
    if (extended) {
        ok = r.Dword(&item->help_id) && r.Dword(&item->ex_style) && r.Dword(&item->style);
    } else {
        ok = r.Dword(&item->style) && r.Dword(&item->ex_style);
    }
    ok = ok && r.Short(&item->x) && r.Short(&item->y) && r.Short(&item->cx) && r.Short(&item->cy);
    if (!ok) return Fail(error, "an item's header ends early");
    if (extended) {
        if (!r.Dword(&item->id)) return Fail(error, "an item's id ends early");
    } else {
        uint16_t id = 0;
        if (!r.Word(&id)) return Fail(error, "an item's id ends early");
        item->id = id;
    }
    if (!r.NameOrOrdinal(&item->class_ordinal, &item->class_name)) return Fail(error, "an item's class ends early");
    if (item->class_ordinal == 0 && item->class_name.empty()) return Fail(error, "an item has no class");
    if (!r.NameOrOrdinal(&item->title_ordinal, &item->title)) return Fail(error, "an item's title ends early");
    // The creation data: a count of the bytes that follow it, then those
    // bytes (both template forms, as the resource compiler writes them).
    uint16_t count = 0;
    if (!r.Word(&count)) return Fail(error, "an item's creation data ends early");
    if (!r.Bytes(count, &item->creation_data)) return Fail(error, "an item's creation data ends early");
    return true;
}

}  // namespace

char NarrowChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

std::string NarrowText(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) out += NarrowChar(text[i]);
    return out;
}

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error) {
    if (data == nullptr || out == nullptr) return Fail(error, "no template");
    Reader r(static_cast<const uint8_t*>(data), size);
    DialogTemplate t;
    uint16_t version = 0, signature = 0;
    if (!r.Word(&version) || !r.Word(&signature)) return Fail(error, "the template ends in its header");
    uint16_t count = 0;
    bool ok = true;
    if (signature == kExtendedSignature) {
        if (version != 1) return Fail(error, "an extended template of version " + std::to_string(version));
        t.extended = true;
        ok = r.Dword(&t.help_id) && r.Dword(&t.ex_style) && r.Dword(&t.style);
    } else {
        // A plain template starts with its style; the two words just read
        // are its low and high halves.
        t.style = static_cast<uint32_t>(version) | static_cast<uint32_t>(signature) << 16;
        ok = r.Dword(&t.ex_style);
    }
    ok = ok && r.Word(&count) && r.Short(&t.x) && r.Short(&t.y) && r.Short(&t.cx) && r.Short(&t.cy);
    if (!ok) return Fail(error, "the template ends in its header");
    if (!r.NameOrOrdinal(&t.menu_ordinal, &t.menu)) return Fail(error, "the template ends in its menu");
    if (!r.NameOrOrdinal(&t.class_ordinal, &t.class_name)) return Fail(error, "the template ends in its class");
    if (!r.String(&t.title)) return Fail(error, "the template ends in its title");
    if (t.style & kDsSetFont) {
        if (!r.Word(&t.point_size)) return Fail(error, "the template ends in its font");
        if (t.extended && !(r.Word(&t.weight) && r.Byte(&t.italic) && r.Byte(&t.charset))) {
            return Fail(error, "the template ends in its font");
        }
        if (!r.String(&t.face)) return Fail(error, "the template ends in its font name");
    }
    for (uint16_t i = 0; i < count; ++i) {
        DialogItemTemplate item;
        std::string why;
        if (!ReadItem(r, t.extended, &item, &why)) {
            return Fail(error, "item " + std::to_string(i) + " of " + std::to_string(count) + ": " + why);
        }
        t.items.push_back(std::move(item));
    }
    *out = std::move(t);
    return true;
}

}  // namespace hostwin
