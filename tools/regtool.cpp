// regtool: registry files seen through the host registry.
//
//   regtool write-sample FILE [ROOT]
//       Builds, through the Reg* functions, a sample subtree under ROOT
//       (default HKEY_LOCAL_MACHINE\Software\HostwinRoundTrip) holding every
//       kind of value regedit round-trips, and saves it as REGEDIT4.
//   regtool compare FILE_A FILE_B ROOT
//       Loads each file into an empty registry and compares the subtree ROOT:
//       key names, value names, types and bytes. Exits 1 listing the
//       differences. Value order is not compared (regedit may sort values).
//   regtool convert IN OUT [ROOT]
//       Loads IN (either format) and saves it, or its subtree ROOT, as REGEDIT4.
//   regtool check FILE
//       Loads FILE and reports the first error, if any.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"
#include "hostctl_registry.h"

namespace {

constexpr const char* kSampleRoot = "HKEY_LOCAL_MACHINE\\Software\\HostwinRoundTrip";

int Usage() {
    std::fprintf(stderr,
                 "usage: regtool write-sample FILE [ROOT]\n"
                 "       regtool compare FILE_A FILE_B ROOT\n"
                 "       regtool convert IN OUT [ROOT]\n"
                 "       regtool check FILE\n");
    return 2;
}

// The sample: every value form regedit reads and writes back unchanged.
bool WriteSample(const std::string& file, const std::string& root) {
    std::string sub = root;
    HKEY base = HKEY_LOCAL_MACHINE;
    const std::string lm = "HKEY_LOCAL_MACHINE\\";
    if (root.compare(0, lm.size(), lm) != 0) {
        std::fprintf(stderr, "regtool: the sample goes below HKEY_LOCAL_MACHINE\n");
        return false;
    }
    sub = root.substr(lm.size());
    hostwin::RegistryClear();
    bool ok = true;
    auto create = [&](const std::string& path) {
        HKEY h = nullptr;
        if (RegCreateKeyExA(base, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
            ok = false;
        return h;
    };
    auto set = [&](HKEY h, const char* name, DWORD type, const std::string& bytes) {
        if (RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS)
            ok = false;
    };
    auto sz = [](const std::string& s) { return s + std::string(1, '\0'); };

    HKEY h = create(sub);
    set(h, nullptr, REG_SZ, sz("the default value"));
    set(h, "Plain", REG_SZ, sz("hello"));
    set(h, "Escapes", REG_SZ, sz("C:\\Program Files\\\"quoted\"\\"));
    set(h, "Empty", REG_SZ, sz(""));
    set(h, "Latin-1", REG_SZ, sz("caf\xe9 \xfc"));
    set(h, "Lines", REG_SZ, sz("one\r\ntwo"));
    set(h, "Name \"with\" \\back\\slashes", REG_SZ, sz("odd name"));
    set(h, "[=]", REG_SZ, sz("brackets and equals"));
    set(h, "Name\r\nover two lines", REG_SZ, sz("a name with a line break"));
    set(h, "Number", REG_DWORD, std::string("\x2a\0\0\0", 4));
    set(h, "Max", REG_DWORD, std::string("\xff\xff\xff\xff", 4));
    set(h, "Zero", REG_DWORD, std::string(4, '\0'));
    set(h, "Blob", REG_BINARY, std::string("\x00\x01\x7f\x80\xfe\xff\x0d\x0a", 8));
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    set(h, "AllBytes", REG_BINARY, all);
    set(h, "EmptyBlob", REG_BINARY, "");
    set(h, "Path", REG_EXPAND_SZ, sz("%SystemRoot%\\system32"));
    set(h, "List", REG_MULTI_SZ, std::string("first\0second\0third\0\0", 20));
    set(h, "Qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    set(h, "BigEndian", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x2a", 4));
    set(h, "None", REG_NONE, "");
    RegCloseKey(h);

    RegCloseKey(create(sub + "\\Empty Key"));
    h = create(sub + "\\Nested\\Level2\\Level3");
    set(h, "Depth", REG_DWORD, std::string("\x03\0\0\0", 4));
    set(h, nullptr, REG_SZ, sz("deep default"));
    RegCloseKey(h);
    h = create(sub + "\\Nested");
    set(h, "Where", REG_SZ, sz("middle"));
    RegCloseKey(h);
    for (const char* name : {"_under", "Zeta", "alpha", "10", "9"}) {
        h = create(sub + "\\Order\\" + name);
        set(h, "Name", REG_SZ, sz(name));
        RegCloseKey(h);
    }
    if (!ok) {
        std::fprintf(stderr, "regtool: building the sample failed\n");
        return false;
    }
    std::string error;
    if (!hostwin::RegistrySave(file, &error, root)) {
        std::fprintf(stderr, "regtool: %s\n", error.c_str());
        return false;
    }
    return true;
}

bool Load(const std::string& file) {
    hostwin::RegistryClear();
    std::string error;
    if (!hostwin::RegistryImport(file, &error)) {
        std::fprintf(stderr, "regtool: %s\n", error.c_str());
        return false;
    }
    return true;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string Hex(const std::string& data) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < data.size() && i < 48; ++i) {
        if (i) out += ',';
        out += kDigits[static_cast<unsigned char>(data[i]) >> 4];
        out += kDigits[static_cast<unsigned char>(data[i]) & 15];
    }
    if (data.size() > 48) out += ",...";
    return out + " (" + std::to_string(data.size()) + " bytes)";
}

struct Tree {
    std::map<std::string, hostwin::RegistryKeyCopy> keys;  // by upper-cased path
    size_t values = 0;
};

bool Snapshot(const std::string& file, const std::string& root, Tree* out) {
    if (!Load(file)) return false;
    std::vector<hostwin::RegistryKeyCopy> copy;
    if (!hostwin::RegistryCopyTree(root, &copy)) {
        std::fprintf(stderr, "regtool: %s: no key %s\n", file.c_str(), root.c_str());
        return false;
    }
    for (auto& k : copy) {
        out->values += k.values.size();
        out->keys.emplace(Upper(k.path), std::move(k));
    }
    return true;
}

int Compare(const std::string& file_a, const std::string& file_b, const std::string& root) {
    Tree a, b;
    if (!Snapshot(file_a, root, &a) || !Snapshot(file_b, root, &b)) return 2;
    int diffs = 0;
    auto diff = [&](const std::string& what) {
        std::printf("%s\n", what.c_str());
        ++diffs;
    };
    for (const auto& [upper, ka] : a.keys) {
        auto it = b.keys.find(upper);
        if (it == b.keys.end()) {
            diff("key only in A: [" + ka.path + "]");
            continue;
        }
        const auto& kb = it->second;
        if (ka.path != kb.path) diff("key name differs: [" + ka.path + "] / [" + kb.path + "]");
        std::map<std::string, const hostwin::RegistryValueCopy*> vb;
        for (const auto& v : kb.values) vb[Upper(v.name)] = &v;
        for (const auto& v : ka.values) {
            std::string where = "[" + ka.path + "] " + (v.name.empty() ? "@" : "\"" + v.name + "\"");
            auto f = vb.find(Upper(v.name));
            if (f == vb.end()) {
                diff("value only in A: " + where);
                continue;
            }
            const auto& w = *f->second;
            if (v.name != w.name) diff("value name differs: " + where + " / \"" + w.name + "\"");
            if (v.type != w.type)
                diff("type differs: " + where + ": " + std::to_string(v.type) + " / " + std::to_string(w.type));
            if (v.data != w.data) diff("data differs: " + where + ":\n  A: " + Hex(v.data) + "\n  B: " + Hex(w.data));
            vb.erase(f);
        }
        for (const auto& [n, w] : vb) {
            (void)n;
            diff("value only in B: [" + kb.path + "] " + (w->name.empty() ? "@" : "\"" + w->name + "\""));
        }
    }
    for (const auto& [upper, kb] : b.keys)
        if (!a.keys.count(upper)) diff("key only in B: [" + kb.path + "]");
    if (diffs) {
        std::printf("%d difference(s) between %s (A) and %s (B) under %s\n", diffs, file_a.c_str(), file_b.c_str(),
                    root.c_str());
        return 1;
    }
    std::printf("same: %zu keys, %zu values under %s\n", a.keys.size(), a.values, root.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string cmd = argv[1];
    if (cmd == "write-sample" && (argc == 3 || argc == 4))
        return WriteSample(argv[2], argc == 4 ? argv[3] : kSampleRoot) ? 0 : 1;
    if (cmd == "compare" && argc == 5) return Compare(argv[2], argv[3], argv[4]);
    if (cmd == "convert" && (argc == 4 || argc == 5)) {
        if (!Load(argv[2])) return 1;
        std::string error;
        if (!hostwin::RegistrySave(argv[3], &error, argc == 5 ? argv[4] : "")) {
            std::fprintf(stderr, "regtool: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (cmd == "check" && argc == 3) {
        if (!Load(argv[2])) return 1;
        std::printf("%s: loads\n", argv[2]);
        return 0;
    }
    return Usage();
}
