// The registry's in-memory store: keys, values and the handle table behind
// the Reg* functions. Internal to the host layer (registry.cpp, the regedit
// file reader and writer); nothing outside src/platform/host includes it.
//
// Layout, chosen to keep a large registry small and quick to load:
//  - a Key is one allocation holding its name right behind the struct;
//    children are kept in a vector sorted the way Windows enumerates them
//    (ASCII letters upper-cased, then byte order);
//  - all values of a key live in one packed block, in insertion order:
//        [u16 name length][u32 type][u32 data size][name bytes][data bytes]
//    Keys with many values get a hash index over that block on demand.
//
// Locking: every entry point takes Store::mutex(); the functions below
// expect the caller to hold it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hostwin::reg {

constexpr size_t kMaxKeyNameLength = 255;      // one path component
constexpr size_t kMaxDepth = 512;              // levels below a root key
constexpr size_t kMaxValueNameLength = 16383;  // characters
constexpr size_t kValueHeaderSize = 10;

// Windows compares key and value names with letters upper-cased.
inline unsigned char FoldChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
// <0, 0, >0 like memcmp, in Windows enumeration order.
int CompareNames(std::string_view a, std::string_view b);
bool NamesEqual(std::string_view a, std::string_view b);

struct ValueIndex;

struct Key {
    Key* parent = nullptr;
    std::vector<Key*> children;       // sorted with CompareNames
    unsigned char* values = nullptr;  // packed records, see above
    uint32_t value_bytes = 0;
    uint32_t value_capacity = 0;
    uint32_t value_count = 0;
    uint32_t handles = 0;         // open handles that refer to this key
    ValueIndex* index = nullptr;  // only for keys with many values
    uint16_t depth = 0;           // 0 for a root key
    uint8_t name_length = 0;
    bool deleted = false;

    std::string_view Name() const { return {reinterpret_cast<const char*>(this + 1), name_length}; }
};

// A value record inside a key's packed block, decoded.
struct ValueRef {
    std::string_view name;
    uint32_t type = 0;
    const unsigned char* data = nullptr;
    uint32_t size = 0;
    uint32_t offset = 0;  // of the record inside the block
    uint32_t record_size = 0;
};

// Walks a key's values in insertion order.
class ValueCursor {
public:
    explicit ValueCursor(const Key* k) : key_(k) {}
    bool Next(ValueRef* out);

private:
    const Key* key_;
    uint32_t offset_ = 0;
};

enum class Root : int { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, Count };

// Full name ("HKEY_LOCAL_MACHINE") and short name ("HKLM") of each root.
const char* RootFullName(Root r);
// Recognises a full root name, case-insensitively; short names too if asked.
bool ParseRootName(std::string_view s, bool allow_short, Root* out);

// The components of a key path, in a fixed array, so that looking a key up
// allocates nothing. It keeps one component more than the deepest key can
// have; the components of a longer path past that are dropped, which is
// harmless: such a path names no key and creates none.
class PathParts {
public:
    static constexpr size_t kCapacity = kMaxDepth + 1;
    void clear() { count_ = 0; }
    void push_back(std::string_view part) {
        if (count_ < kCapacity) items_[count_++] = part;
    }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view operator[](size_t i) const { return items_[i]; }
    const std::string_view* begin() const { return items_; }
    const std::string_view* end() const { return items_ + count_; }

private:
    std::string_view items_[kCapacity];
    size_t count_ = 0;
};

// Splits a subkey path ("a\\b\\c") into components. Empty components (a
// trailing backslash, doubled backslashes) are skipped as Windows does; a
// leading backslash is refused. Returns a Windows error code.
long SplitPath(std::string_view path, PathParts* parts);

class Store;

// Finds a key by its full name ("HKEY_LOCAL_MACHINE\\Software\\X"; short
// root names such as HKLM are accepted too). On success *canonical gets the
// name spelled as stored. Call with the store locked.
Key* FindByFullName(Store& s, std::string_view full_name, std::string* canonical);

class Store {
public:
    static Store& Instance();
    std::mutex& Mutex() { return mutex_; }

    Key* RootKey(Root r) { return roots_[static_cast<int>(r)]; }

    // Keys --------------------------------------------------------------
    Key* FindChild(const Key* parent, std::string_view name) const;
    // Creates the child if missing; *created tells which. The caller checks
    // name length and depth.
    Key* ChildFor(Key* parent, std::string_view name, bool* created);
    // Follows `parts` below `from`; nullptr if a component is missing.
    Key* Find(Key* from, const PathParts& parts) const;
    // Removes `k` and everything below it. Keys still referred to by a
    // handle stay allocated, marked deleted, until their last handle closes.
    void RemoveTree(Key* k);
    // Empties every root and closes every handle.
    void Clear();

    // Values ------------------------------------------------------------
    bool FindValue(Key* k, std::string_view name, ValueRef* out);
    // Adds or replaces; false when the block would exceed 4 GiB.
    bool SetValue(Key* k, std::string_view name, uint32_t type, const void* data, uint32_t size);
    bool DeleteValue(Key* k, std::string_view name);
    // Gives back the spare room of a key's value block (after a bulk load).
    void CompactValues(Key* k);

    // Handles -----------------------------------------------------------
    uintptr_t OpenHandle(Key* k);
    Key* LookupHandle(uintptr_t h) const;
    bool CloseHandle(uintptr_t h);
    size_t HandleCount() const { return handles_.size(); }
    // Open handles, ordered by value (values only grow, so opening appends).
    struct HandleEntry {
        uintptr_t handle;
        Key* key;
    };

private:
    Store();
    ~Store() = delete;  // lives for the whole process
    static Key* NewKey(Key* parent, std::string_view name);
    void FreeKey(Key* k);
    void DestroyTree(Key* k);
    void FreeValues(Key* k);
    void ReleaseKey(Key* k);
    void DropIndex(Key* k);
    ValueIndex* IndexFor(Key* k);

    std::mutex mutex_;
    Key* roots_[static_cast<int>(Root::Count)];
    std::vector<HandleEntry> handles_;  // room reserved up front: opening allocates nothing
    uintptr_t next_handle_ = 0x100;
};

}  // namespace hostwin::reg
