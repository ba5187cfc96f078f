// The registry's in-memory store (see registry_store.h for the layout).
#include "registry_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "hostwin.h"

namespace hostwin::reg {

int CompareNames(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = FoldChar(static_cast<unsigned char>(a[i]));
        unsigned char y = FoldChar(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldChar(static_cast<unsigned char>(a[i])) != FoldChar(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// ---- Value records ---------------------------------------------------------

namespace {

struct RecordHeader {
    uint16_t name_length;
    uint32_t type;
    uint32_t size;
};

RecordHeader ReadHeader(const unsigned char* p) {
    RecordHeader h;
    std::memcpy(&h.name_length, p, 2);
    std::memcpy(&h.type, p + 2, 4);
    std::memcpy(&h.size, p + 6, 4);
    return h;
}

void WriteRecord(unsigned char* p, std::string_view name, uint32_t type, const void* data, uint32_t size) {
    uint16_t n = static_cast<uint16_t>(name.size());
    std::memcpy(p, &n, 2);
    std::memcpy(p + 2, &type, 4);
    std::memcpy(p + 6, &size, 4);
    if (!name.empty()) std::memcpy(p + kValueHeaderSize, name.data(), name.size());
    if (size) std::memcpy(p + kValueHeaderSize + name.size(), data, size);
}

void Decode(const unsigned char* block, uint32_t offset, ValueRef* out) {
    const unsigned char* p = block + offset;
    RecordHeader h = ReadHeader(p);
    out->name = std::string_view(reinterpret_cast<const char*>(p + kValueHeaderSize), h.name_length);
    out->type = h.type;
    out->size = h.size;
    out->data = p + kValueHeaderSize + h.name_length;
    out->offset = offset;
    out->record_size = static_cast<uint32_t>(kValueHeaderSize + h.name_length + h.size);
}

uint32_t HashName(std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) {
        h ^= FoldChar(static_cast<unsigned char>(c));
        h *= 16777619u;
    }
    return h;
}

// Keys with at least this many values are searched through a hash index.
constexpr uint32_t kIndexThreshold = 16;

}  // namespace

bool ValueCursor::Next(ValueRef* out) {
    if (offset_ >= key_->value_bytes) return false;
    Decode(key_->values, offset_, out);
    offset_ += out->record_size;
    return true;
}

// Open addressing over record offsets (stored +1, so 0 means empty).
struct ValueIndex {
    std::vector<uint32_t> slots;
    size_t used = 0;

    void Insert(std::string_view name, uint32_t offset) {
        if ((used + 1) * 2 > slots.size()) return;  // caller grows first
        size_t mask = slots.size() - 1;
        for (size_t i = HashName(name) & mask;; i = (i + 1) & mask) {
            if (slots[i] == 0) {
                slots[i] = offset + 1;
                ++used;
                return;
            }
        }
    }
};

ValueIndex* Store::IndexFor(Key* k) {
    ValueIndex* idx = k->index;
    if (idx && (idx->used + 1) * 2 <= idx->slots.size()) return idx;
    // Build (or rebuild larger) from the block.
    if (!idx) idx = k->index = new ValueIndex;
    size_t cap = 32;
    while (cap < (static_cast<size_t>(k->value_count) + 1) * 4) cap *= 2;
    idx->slots.assign(cap, 0);
    idx->used = 0;
    ValueCursor c(k);
    ValueRef v;
    while (c.Next(&v)) idx->Insert(v.name, v.offset);
    return idx;
}

void Store::DropIndex(Key* k) {
    delete k->index;
    k->index = nullptr;
}

bool Store::FindValue(Key* k, std::string_view name, ValueRef* out) {
    if (k->value_count >= kIndexThreshold) {
        ValueIndex* idx = IndexFor(k);
        size_t mask = idx->slots.size() - 1;
        for (size_t i = HashName(name) & mask; idx->slots[i] != 0; i = (i + 1) & mask) {
            Decode(k->values, idx->slots[i] - 1, out);
            if (NamesEqual(out->name, name)) return true;
        }
        return false;
    }
    ValueCursor c(k);
    while (c.Next(out))
        if (NamesEqual(out->name, name)) return true;
    return false;
}

bool Store::SetValue(Key* k, std::string_view name, uint32_t type, const void* data, uint32_t size) {
    ValueRef old;
    if (FindValue(k, name, &old)) {
        if (old.size == size) {
            // Same size: overwrite in place. The name keeps the case it was
            // first given.
            unsigned char* p = k->values + old.offset;
            std::memcpy(p + 2, &type, 4);
            if (size) std::memmove(p + kValueHeaderSize + old.name.size(), data, size);
            return true;
        }
        uint64_t new_bytes = uint64_t(k->value_bytes) - old.size + size;
        if (new_bytes > UINT32_MAX) return false;
        // Keep the record where it is (insertion order), resizing its slot.
        // `data` may not point into our own block: the API copies it in.
        std::string kept_name(old.name);
        uint32_t tail_start = old.offset + old.record_size;
        uint32_t tail_bytes = k->value_bytes - tail_start;
        uint32_t new_record = static_cast<uint32_t>(kValueHeaderSize + kept_name.size() + size);
        if (new_bytes > k->value_capacity) {
            void* grown = std::realloc(k->values, static_cast<size_t>(new_bytes));
            if (!grown) return false;
            k->values = static_cast<unsigned char*>(grown);
            k->value_capacity = static_cast<uint32_t>(new_bytes);
        }
        std::memmove(k->values + old.offset + new_record, k->values + tail_start, tail_bytes);
        WriteRecord(k->values + old.offset, kept_name, type, data, size);
        k->value_bytes = static_cast<uint32_t>(new_bytes);
        DropIndex(k);  // offsets behind this record moved
        return true;
    }
    uint64_t record = kValueHeaderSize + name.size() + uint64_t(size);
    uint64_t needed = k->value_bytes + record;
    if (needed > UINT32_MAX) return false;
    if (needed > k->value_capacity) {
        // Exact fit while small (most keys hold a handful of values), then
        // grow geometrically so keys with many values stay linear.
        uint64_t cap = needed;
        if (k->value_capacity >= 256) cap = std::max<uint64_t>(needed, uint64_t(k->value_capacity) * 3 / 2);
        cap = std::min<uint64_t>(cap, UINT32_MAX);
        void* grown = std::realloc(k->values, static_cast<size_t>(cap));
        if (!grown) return false;
        k->values = static_cast<unsigned char*>(grown);
        k->value_capacity = static_cast<uint32_t>(cap);
    }
    uint32_t offset = k->value_bytes;
    WriteRecord(k->values + offset, name, type, data, size);
    k->value_bytes = static_cast<uint32_t>(needed);
    ++k->value_count;
    if (k->index) {
        if ((k->index->used + 1) * 2 <= k->index->slots.size())
            k->index->Insert(name, offset);
        else
            DropIndex(k);  // rebuilt larger on the next search
    }
    return true;
}

bool Store::DeleteValue(Key* k, std::string_view name) {
    ValueRef v;
    if (!FindValue(k, name, &v)) return false;
    uint32_t tail = v.offset + v.record_size;
    std::memmove(k->values + v.offset, k->values + tail, k->value_bytes - tail);
    k->value_bytes -= v.record_size;
    --k->value_count;
    DropIndex(k);
    return true;
}

void Store::CompactValues(Key* k) {
    if (k->value_capacity == k->value_bytes) return;
    if (k->value_bytes == 0) {
        std::free(k->values);
        k->values = nullptr;
        k->value_capacity = 0;
        return;
    }
    void* shrunk = std::realloc(k->values, k->value_bytes);
    if (shrunk) {
        k->values = static_cast<unsigned char*>(shrunk);
        k->value_capacity = k->value_bytes;
    }
}

void Store::FreeValues(Key* k) {
    std::free(k->values);
    k->values = nullptr;
    k->value_bytes = k->value_capacity = k->value_count = 0;
    DropIndex(k);
}

// ---- Keys ------------------------------------------------------------------

Key* Store::NewKey(Key* parent, std::string_view name) {
    void* mem = ::operator new(sizeof(Key) + name.size());
    Key* k = new (mem) Key;
    k->parent = parent;
    k->depth = parent ? static_cast<uint16_t>(parent->depth + 1) : 0;
    k->name_length = static_cast<uint8_t>(name.size());
    std::memcpy(reinterpret_cast<char*>(k + 1), name.data(), name.size());
    return k;
}

void Store::FreeKey(Key* k) {
    FreeValues(k);
    k->~Key();
    ::operator delete(k);
}

namespace {
struct ChildLess {
    bool operator()(const Key* k, std::string_view name) const { return CompareNames(k->Name(), name) < 0; }
};
}  // namespace

Key* Store::FindChild(const Key* parent, std::string_view name) const {
    const auto& c = parent->children;
    auto it = std::lower_bound(c.begin(), c.end(), name, ChildLess());
    if (it != c.end() && CompareNames((*it)->Name(), name) == 0) return *it;
    return nullptr;
}

Key* Store::ChildFor(Key* parent, std::string_view name, bool* created) {
    auto& c = parent->children;
    // Files and generators mostly list siblings in order: append fast.
    if (c.empty() || CompareNames(c.back()->Name(), name) < 0) {
        Key* k = NewKey(parent, name);
        c.push_back(k);
        *created = true;
        return k;
    }
    auto it = std::lower_bound(c.begin(), c.end(), name, ChildLess());
    if (it != c.end() && CompareNames((*it)->Name(), name) == 0) {
        *created = false;
        return *it;
    }
    Key* k = NewKey(parent, name);
    c.insert(it, k);
    *created = true;
    return k;
}

Key* Store::Find(Key* from, const PathParts& parts) const {
    Key* k = from;
    for (std::string_view p : parts) {
        k = FindChild(k, p);
        if (!k) return nullptr;
    }
    return k;
}

void Store::DestroyTree(Key* k) {
    for (Key* c : k->children) DestroyTree(c);
    std::vector<Key*>().swap(k->children);
    FreeValues(k);
    k->deleted = true;
    k->parent = nullptr;
    if (k->handles == 0) FreeKey(k);
}

void Store::RemoveTree(Key* k) {
    if (Key* p = k->parent) {
        auto& c = p->children;
        auto it = std::lower_bound(c.begin(), c.end(), k->Name(), ChildLess());
        if (it != c.end() && *it == k) c.erase(it);
    }
    DestroyTree(k);
}

void Store::Clear() {
    for (const HandleEntry& e : handles_) ReleaseKey(e.key);
    handles_.clear();
    for (Key* r : roots_) {
        for (Key* c : r->children) DestroyTree(c);
        std::vector<Key*>().swap(r->children);
        FreeValues(r);
    }
}

// ---- Handles ---------------------------------------------------------------

uintptr_t Store::OpenHandle(Key* k) {
    uintptr_t h = next_handle_;
    next_handle_ += 4;
    // Never hand out a value in the range of the predefined root handles.
    if (next_handle_ >= 0x80000000u && next_handle_ < 0x80000100u) next_handle_ = 0x80000100u;
    handles_.push_back({h, k});
    ++k->handles;
    return h;
}

namespace {
template <typename Entries>
auto FindHandle(Entries& entries, uintptr_t h) {
    auto it = std::lower_bound(entries.begin(), entries.end(), h,
                               [](const Store::HandleEntry& e, uintptr_t v) { return e.handle < v; });
    return (it != entries.end() && it->handle == h) ? it : entries.end();
}
}  // namespace

Key* Store::LookupHandle(uintptr_t h) const {
    auto it = FindHandle(handles_, h);
    return it == handles_.end() ? nullptr : it->key;
}

void Store::ReleaseKey(Key* k) {
    if (--k->handles == 0 && k->deleted) FreeKey(k);
}

bool Store::CloseHandle(uintptr_t h) {
    auto it = FindHandle(handles_, h);
    if (it == handles_.end()) return false;
    Key* k = it->key;
    handles_.erase(it);
    ReleaseKey(k);
    return true;
}

// ---- Roots and paths -------------------------------------------------------

namespace {
struct RootNames {
    const char* full;
    const char* brief;
};
constexpr RootNames kRootNames[] = {
    {"HKEY_CLASSES_ROOT", "HKCR"}, {"HKEY_CURRENT_USER", "HKCU"},   {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKEY_USERS", "HKU"},         {"HKEY_CURRENT_CONFIG", "HKCC"},
};
}  // namespace

const char* RootFullName(Root r) {
    return kRootNames[static_cast<int>(r)].full;
}

bool ParseRootName(std::string_view s, bool allow_short, Root* out) {
    for (int i = 0; i < static_cast<int>(Root::Count); ++i) {
        if (NamesEqual(s, kRootNames[i].full) || (allow_short && NamesEqual(s, kRootNames[i].brief))) {
            *out = static_cast<Root>(i);
            return true;
        }
    }
    return false;
}

long SplitPath(std::string_view path, PathParts* parts) {
    parts->clear();
    if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (end - start > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
            parts->push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

Key* FindByFullName(Store& s, std::string_view full_name, std::string* canonical) {
    size_t sep = full_name.find('\\');
    Root r;
    if (!ParseRootName(full_name.substr(0, sep), true, &r)) return nullptr;
    PathParts parts;
    std::string_view rest = sep == std::string_view::npos ? std::string_view() : full_name.substr(sep + 1);
    if (SplitPath(rest, &parts) != ERROR_SUCCESS) return nullptr;
    Key* k = s.RootKey(r);
    std::string path = RootFullName(r);
    for (std::string_view p : parts) {
        k = s.FindChild(k, p);
        if (!k) return nullptr;
        path += '\\';
        path += k->Name();
    }
    if (canonical) *canonical = std::move(path);
    return k;
}

Store::Store() {
    handles_.reserve(4096);
    for (int i = 0; i < static_cast<int>(Root::Count); ++i) roots_[i] = NewKey(nullptr, kRootNames[i].full);
}

Store& Store::Instance() {
    // Never destroyed: handles may still be closed from static destructors.
    static Store* s = new Store;
    return *s;
}

}  // namespace hostwin::reg
