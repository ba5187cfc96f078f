// The host layer's modules and their resources: the module table behind
// LoadLibraryA, FreeLibrary, GetModuleHandleA and GetModuleFileNameA, and
// the resource calls (FindResourceA, LoadResource, LockResource,
// SizeofResource, LoadStringA, LoadIconA, DestroyIcon).
//
// A module is the resources that a program or library embedded (the bytes
// windres made of an .rc) under a file name; registration happens while
// the program starts (static initialisers that snkes_embed_resources
// generates) and is the only part that allocates. Every call the applet
// makes reads the tables made then. Handles are addresses of the table's
// records and are checked against the table before use, so a wrong handle
// fails instead of being followed.
//
// Where the documentation is silent, the error codes are those a test
// program observed under Wine: a handle that is no module gives
// ERROR_RESOURCE_DATA_NOT_FOUND to the resource calls and ERROR_MOD_NOT_FOUND
// to the module calls; LoadIconA of a missing icon gives
// ERROR_RESOURCE_TYPE_NOT_FOUND.
#include <unistd.h>

#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "hostctl.h"
#include "hostwin.h"
#include "res_file.h"
#include "resources_internal.h"

namespace {

using hostwin::IconImage;
using hostwin::resfile::ResourceEntry;
using hostwin::resfile::ResourceId;

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtString = 6;
constexpr uint16_t kRtGroupIcon = 14;
// The icon size LoadIconA loads (the system's large icon).
constexpr int kIconSize = 32;

struct Module;

struct Icon {
    const Module* module = nullptr;
    const ResourceEntry* group = nullptr;
    IconImage image;
};

struct Module {
    char file_name[MAX_PATH] = {};
    bool main = false;
    unsigned uses = 1;
    // Deques: records keep their address while more are added, because
    // HRSRC and HICON handles point at them.
    std::deque<ResourceEntry> entries;
    std::deque<Icon> icons;
};

struct Table {
    std::mutex mutex;
    std::deque<Module> modules;  // the main module first
};

Table& Modules() {
    static Table table;
    return table;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char16_t Upper16(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The part of a path after its last "\" or "/".
const char* BaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') base = p + 1;
    }
    return base;
}

// Whether `b` is the first `n` characters of `a` followed by `tail`, without
// regard to case.
bool SameName(const char* a, size_t n, const char* tail, const char* b) {
    for (size_t i = 0; i < n; ++i, ++b) {
        if (*b == '\0' || Upper(a[i]) != Upper(*b)) return false;
    }
    for (; *tail; ++tail, ++b) {
        if (Upper(*tail) != Upper(*b)) return false;
    }
    return *b == '\0';
}

// A module name as LoadLibraryA compares it: the base name; a name without
// an extension means one of ".DLL", and a trailing "." means none.
bool SameModuleName(const char* wanted, const char* file_name) {
    const char* a = BaseName(wanted);
    const char* b = BaseName(file_name);
    const size_t n = std::strlen(a);
    if (n == 0) return false;
    if (a[n - 1] == '.') return SameName(a, n - 1, "", b);
    if (std::strchr(a, '.') == nullptr) return SameName(a, n, ".DLL", b);
    return SameName(a, n, "", b);
}

Module& MainModule(Table& t) {
    if (t.modules.empty() || !t.modules.front().main) {
        t.modules.emplace_front();
        Module& m = t.modules.front();
        m.main = true;
        const ssize_t n = readlink("/proc/self/exe", m.file_name, sizeof m.file_name - 1);
        if (n <= 0)
            std::strcpy(m.file_name, "program");
        else
            m.file_name[n] = '\0';
    }
    return t.modules.front();
}

// The loaded module of a handle (null: the main module); null when the
// handle is none.
Module* Resolve(Table& t, HMODULE handle) {
    if (handle == nullptr) return &MainModule(t);
    for (Module& m : t.modules) {
        if (reinterpret_cast<HMODULE>(&m) == handle) return (m.main || m.uses > 0) ? &m : nullptr;
    }
    return nullptr;
}

// A type or name argument: an ordinal, "#number", or a name.
struct Wanted {
    bool is_ordinal = true;
    uint16_t ordinal = 0;
    const char* name = nullptr;
};

Wanted ReadWanted(LPCSTR text) {
    Wanted w;
    if (IS_INTRESOURCE(text)) {
        w.ordinal = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(text));
        return w;
    }
    if (text[0] == '#') {
        unsigned value = 0;
        const char* p = text + 1;
        for (; *p >= '0' && *p <= '9' && value <= 0xFFFF; ++p) value = value * 10 + static_cast<unsigned>(*p - '0');
        if (*p == '\0' && p != text + 1 && value <= 0xFFFF) {
            w.ordinal = static_cast<uint16_t>(value);
            return w;
        }
    }
    w.is_ordinal = false;
    w.name = text;
    return w;
}

bool Matches(const Wanted& w, const ResourceId& id) {
    if (w.is_ordinal) return id.is_ordinal && id.ordinal == w.ordinal;
    if (id.is_ordinal) return false;
    size_t i = 0;
    for (; w.name[i] != '\0'; ++i) {
        if (i >= id.name.size()) return false;
        const char16_t c = static_cast<unsigned char>(w.name[i]);
        if (Upper16(c) != Upper16(id.name[i])) return false;
    }
    return i == id.name.size();
}

// The entry of `type` and `name` in a module: of all its languages the
// neutral one, else the first. Sets the last error as FindResourceA does.
const ResourceEntry* FindEntry(const Module& m, const Wanted& type, const Wanted& name) {
    const ResourceEntry* found = nullptr;
    bool type_seen = false;
    for (const ResourceEntry& e : m.entries) {
        if (!Matches(type, e.type)) continue;
        type_seen = true;
        if (!Matches(name, e.name)) continue;
        if (found == nullptr || (e.language & 0x3FF) == 0) found = &e;
        if ((e.language & 0x3FF) == 0) break;
    }
    if (found == nullptr) SetLastError(type_seen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return found;
}

const ResourceEntry* FindEntry(const Module& m, uint16_t type, uint16_t name) {
    Wanted t, n;
    t.ordinal = type;
    n.ordinal = name;
    return FindEntry(m, t, n);
}

// Whether a handle is an entry of some module.
const ResourceEntry* KnownEntry(Table& t, HRSRC handle) {
    if (handle == nullptr) return nullptr;
    for (const Module& m : t.modules) {
        for (const ResourceEntry& e : m.entries) {
            if (reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(&e)) == handle) return &e;
        }
    }
    return nullptr;
}

const Icon* KnownIcon(Table& t, HICON handle) {
    if (handle == nullptr) return nullptr;
    for (const Module& m : t.modules) {
        for (const Icon& icon : m.icons) {
            if (reinterpret_cast<HICON>(const_cast<Icon*>(&icon)) == handle) return &icon;
        }
    }
    return nullptr;
}

// Makes the icon of every icon group of `m` that starts at `first` ready,
// so that LoadIconA only looks it up.
void PrepareIcons(Module& m, size_t first) {
    for (size_t i = first; i < m.entries.size(); ++i) {
        const ResourceEntry& group = m.entries[i];
        if (!group.type.is_ordinal || group.type.ordinal != kRtGroupIcon) continue;
        std::vector<hostwin::resfile::IconGroupEntry> images;
        if (!hostwin::resfile::ReadIconGroup(group.data, group.size, &images)) continue;
        const int chosen = hostwin::resfile::ChooseIconImage(images, kIconSize);
        if (chosen < 0) continue;
        const ResourceEntry* image = FindEntry(m, kRtIcon, images[static_cast<size_t>(chosen)].icon_id);
        if (image == nullptr) continue;
        Icon icon;
        icon.module = &m;
        icon.group = &group;
        if (!hostwin::resfile::DecodeIconImage(image->data, image->size, &icon.image.width, &icon.image.height,
                                               &icon.image.bits, &icon.image.pixels, nullptr)) {
            continue;
        }
        m.icons.push_back(std::move(icon));
    }
}

// Copies `text` into a caller's buffer of `size` characters as the module
// calls do: cut to size - 1 and always terminated.
DWORD CopyOut(const char* text, LPSTR buffer, DWORD size) {
    const size_t length = std::strlen(text);
    if (length < size) {
        std::memcpy(buffer, text, length + 1);
        return static_cast<DWORD>(length);
    }
    std::memcpy(buffer, text, size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

}  // namespace

namespace hostwin {

bool RegisterModule(const char* file_name, const void* res, size_t size) noexcept {
    try {
        Table& t = Modules();
        std::lock_guard lock(t.mutex);
        Module* m = nullptr;
        if (file_name == nullptr) {
            m = &MainModule(t);
        } else {
            if (std::strlen(file_name) >= MAX_PATH || file_name[0] == '\0') return false;
            MainModule(t);
            for (Module& candidate : t.modules) {
                if (!candidate.main && SameModuleName(file_name, candidate.file_name)) m = &candidate;
            }
            if (m == nullptr) {
                t.modules.emplace_back();
                m = &t.modules.back();
                std::strcpy(m->file_name, file_name);
            }
        }
        std::vector<ResourceEntry> entries;
        if (!resfile::ReadResFile(res, size, &entries, nullptr)) return false;
        const size_t first = m->entries.size();
        for (ResourceEntry& e : entries) m->entries.push_back(std::move(e));
        PrepareIcons(*m, first);
        return true;
    } catch (...) {
        return false;
    }
}

unsigned ModuleUseCount(HMODULE module) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    if (module == nullptr) return 0;
    for (const Module& m : t.modules) {
        if (reinterpret_cast<HMODULE>(const_cast<Module*>(&m)) == module) return m.main ? 1 : m.uses;
    }
    return 0;
}

void ResetModules() {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    for (Module& m : t.modules) m.uses = 1;
}

bool GetIconImage(HICON icon, IconImage* out) {
    const IconImage* image = FindIconImage(icon);
    if (image == nullptr || out == nullptr) return false;
    *out = *image;
    return true;
}

bool FindResourceBytes(HINSTANCE module, LPCSTR type, LPCSTR name, const void** data, size_t* size) {
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr) return false;
    const ResourceEntry* e = reinterpret_cast<const ResourceEntry*>(found);
    if (data != nullptr) *data = e->data;
    if (size != nullptr) *size = e->size;
    return true;
}

const IconImage* FindIconImage(HICON icon) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    const Icon* known = KnownIcon(t, icon);
    return known != nullptr ? &known->image : nullptr;
}

}  // namespace hostwin

// ---- Modules ----------------------------------------------------------------

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (Module& m : t.modules) {
        if (!SameModuleName(name, m.file_name)) continue;
        if (!m.main) ++m.uses;
        return reinterpret_cast<HMODULE>(&m);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    Module* m = module != nullptr ? Resolve(t, module) : nullptr;
    if (m == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!m->main) --m->uses;
    return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    if (name == nullptr) return reinterpret_cast<HMODULE>(&MainModule(t));
    for (Module& m : t.modules) {
        if ((m.main || m.uses > 0) && SameModuleName(name, m.file_name)) return reinterpret_cast<HMODULE>(&m);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    const Module* m = Resolve(t, module);
    if (m == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (size == 0 || buffer == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Cut to size - 1 and terminated, where Windows XP (and Wine) leave a
    // cut name without its zero.
    return CopyOut(m->file_name, buffer, size);
}

// ---- Resources --------------------------------------------------------------

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    const Module* m = Resolve(t, module);
    if (m == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (name == nullptr || type == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const ResourceEntry* e = FindEntry(*m, ReadWanted(type), ReadWanted(name));
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(e));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    const ResourceEntry* e = KnownEntry(t, resource);
    if (e == nullptr) {
        if (resource != nullptr) SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The resource bytes are read-only, as a module's resource pages are.
    return const_cast<uint8_t*>(e->data);
}

LPVOID WINAPI LockResource(HGLOBAL data) {
    return data;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    const ResourceEntry* e = KnownEntry(t, resource);
    if (e == nullptr) {
        if (resource != nullptr) SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return e->size;
}

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    // The platform's LoadStringA would write through a buffer of size 0 (and
    // take a negative size for a large one); here neither is written to.
    if (size <= 0) return -1;
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    const Module* m = Resolve(t, instance);
    if (m == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    // Strings come in blocks of 16: block n + 1 holds the strings 16n to
    // 16n + 15, each a 16-bit length and that many UTF-16 characters.
    const uint16_t string_id = LOWORD(id);
    const ResourceEntry* block = FindEntry(*m, kRtString, static_cast<uint16_t>((string_id >> 4) + 1));
    if (block == nullptr) return 0;
    const uint8_t* p = block->data;
    const uint8_t* const end = block->data + block->size;
    for (unsigned i = 0;; ++i) {
        if (end - p < 2) return 0;
        const size_t length = static_cast<size_t>(p[0] | p[1] << 8);
        p += 2;
        if (static_cast<size_t>(end - p) / 2 < length) return 0;
        if (i == (string_id & 15u)) {
            const size_t copied = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
            for (size_t k = 0; k < copied; ++k) {
                const char16_t c = static_cast<char16_t>(p[2 * k] | p[2 * k + 1] << 8);
                buffer[k] = hostwin::NarrowChar(c);
            }
            buffer[copied] = '\0';
            return static_cast<int>(copied);
        }
        p += 2 * length;
    }
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    // A null instance asks for the system's predefined icons, of which the
    // host has none.
    const Module* m = instance != nullptr ? Resolve(t, instance) : nullptr;
    if (instance != nullptr && m == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (m == nullptr || name == nullptr) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    Wanted type;
    type.ordinal = kRtGroupIcon;
    const ResourceEntry* group = FindEntry(*m, type, ReadWanted(name));
    if (group == nullptr) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    for (const Icon& icon : m->icons) {
        if (icon.group == group) return reinterpret_cast<HICON>(const_cast<Icon*>(&icon));
    }
    // The group names no image that could be read.
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
}

BOOL WINAPI DestroyIcon(HICON icon) {
    Table& t = Modules();
    std::lock_guard lock(t.mutex);
    // Every icon of the host is a shared one, which stays.
    if (KnownIcon(t, icon) != nullptr) return TRUE;
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
}
