// regbench: how fast the host registry saves and loads a large registry,
// and how much memory that takes.
//
// Builds, through the Reg* functions, a registry of 100,000 keys and
// 500,000 values shaped like a busy network-driver class key (instances with
// their parameter definitions and enumerations; REG_SZ, REG_DWORD and
// REG_BINARY values), saves it as REGEDIT4, clears the registry, loads the
// file back, checks a sample, and prints the figures.
//
//   regbench [--keep] [DIR]   the file goes to a new directory in DIR
//                             (default: $TMPDIR or /tmp); --keep leaves it
//
// Targets on a 2-core machine: save and load under a second each, peak
// memory (ru_maxrss) under three times the file size.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"

namespace {

constexpr int kInstances = 1000;
constexpr int kParams = 48;  // per instance; all but the last have an enum subkey
constexpr const char* kClassPath = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";

const char* const kParamNames[] = {
    "RTSThreshold", "FragThreshold",  "PowerSaveMode", "Channel",      "NetworkAddress", "TxPower",
    "RoamTendency", "BeaconInterval", "PreambleType",  "AuthMode",     "EncryptionType", "RateLimit",
    "AdHocChannel", "WirelessMode",   "CountryRegion", "ScanInterval", "LinkTimeout",    "ShortSlotTime",
    "BurstMode",    "Antenna",        "RxDiversity",   "QoSEnable",    "WakeOnLan",      "LedMode",
};

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long PeakKb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "regbench: %s\n", what.c_str());
    std::exit(1);
}

HKEY Create(HKEY parent, const std::string& path) {
    HKEY h;
    if (RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        Die("cannot create " + path);
    return h;
}

void Sz(HKEY h, const char* name, const std::string& text) {
    RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void Dword(HKEY h, const char* name, uint32_t v) {
    RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
}

std::vector<unsigned char> Blob(int seed, size_t n) {
    std::vector<unsigned char> b(n);
    uint32_t x = 2654435761u * static_cast<uint32_t>(seed + 1);
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<unsigned char>(x);
    }
    return b;
}

void Binary(HKEY h, const char* name, const std::vector<unsigned char>& b) {
    RegSetValueExA(h, name, 0, REG_BINARY, b.data(), static_cast<DWORD>(b.size()));
}

std::string Instance(int i) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04d", i);
    return buf;
}

std::string Desc(int i) {
    return "Network Adapter " + std::to_string(i % 37) + " (instance " + std::to_string(i) + ")";
}

// One instance: 100 keys and 500 values; `fewer` enum keys are left out and
// their values added to the instance key instead.
void MakeInstance(HKEY cls, int i, int fewer) {
    HKEY inst = Create(cls, Instance(i));
    char id[64];
    Sz(inst, "DriverDesc", Desc(i));
    Sz(inst, "ProviderName", "Host Test Networks");
    Sz(inst, "DriverDate", "6-21-2006");
    Sz(inst, "DriverVersion", "3.1." + std::to_string(i) + ".0");
    std::snprintf(id, sizeof id, "pci\\ven_%04x&dev_%04x", 0xf100 + i % 64, 0x3000 + i);
    Sz(inst, "MatchingDeviceId", id);
    Sz(inst, "InfPath", "oem" + std::to_string(i % 90) + ".inf");
    Sz(inst, "InfSection", "Adapter.ndi");
    Sz(inst, "ComponentId", id);
    std::snprintf(id, sizeof id, "{%08X-%04X-11D0-BFC1-08002BE1%04X}", 0x5A000000u + i, i, i);
    Sz(inst, "NetCfgInstanceId", id);
    Dword(inst, "Characteristics", 0x84);
    Dword(inst, "BusType", 5);
    Dword(inst, "IfType", 71);
    Binary(inst, "DriverDateData", Blob(i, 8));
    Binary(inst, "InstallTimeStamp", Blob(i + 7, 16));
    for (int e = 0; e < 4 * fewer; ++e) Dword(inst, ("Spare" + std::to_string(e)).c_str(), e);

    HKEY ndi = Create(inst, "Ndi");
    Sz(ndi, "Service", "hostnet" + std::to_string(i % 4));
    Sz(ndi, "HelpText", "Connects the computer to a wireless network.");
    Sz(ndi, "CoServices", "hostnet");
    Dword(ndi, "Flags", 0x10);
    HKEY ifs = Create(ndi, "Interfaces");
    Sz(ifs, "UpperRange", "ndis5");
    Sz(ifs, "LowerRange", "ethernet");
    Sz(ifs, "DefUpper", "ndis5");
    RegCloseKey(ifs);
    HKEY params = Create(ndi, "Params");
    for (int p = 0; p < kParams; ++p) {
        std::string name = kParamNames[p % 24];
        if (p >= 24) name += "Ex";
        HKEY pk = Create(params, name);
        Sz(pk, "ParamDesc", name + " setting");
        Sz(pk, "default", std::to_string(p));
        Sz(pk, "type", p % 3 ? "enum" : "int");
        Dword(pk, "min", 0);
        Dword(pk, "max", 100 + p);
        Binary(pk, "Flags", Blob(i * 100 + p, 4));
        if (p < kParams - 1 - fewer) {
            HKEY en = Create(pk, "enum");
            Sz(en, "0", "Disabled");
            Sz(en, "1", "Enabled");
            Sz(en, "2", "Auto");
            Binary(en, "Mask", Blob(p, 6));
            RegCloseKey(en);
        }
        RegCloseKey(pk);
    }
    RegCloseKey(params);
    RegCloseKey(ndi);
    HKEY link = Create(inst, "Linkage");
    Sz(link, "RootDevice", id);
    Sz(link, "UpperBind", "Tcpip");
    Sz(link, "Export", std::string("\\Device\\") + id);
    RegCloseKey(link);
    RegCloseKey(inst);
}

size_t CountKeys(HKEY h) {
    size_t n = 1;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(h, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        HKEY c;
        if (RegOpenKeyExA(h, name, 0, KEY_READ, &c) != ERROR_SUCCESS) Die(std::string("cannot open ") + name);
        n += CountKeys(c);
        RegCloseKey(c);
    }
    return n;
}

std::string ReadSz(const std::string& path, const char* name) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) Die("missing " + path);
    char buf[256];
    DWORD size = sizeof buf, type = 0;
    LSTATUS rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0) Die("bad value " + path + "\\" + name);
    return std::string(buf, size - 1);
}

std::vector<unsigned char> ReadBinary(const std::string& path, const char* name) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) Die("missing " + path);
    std::vector<unsigned char> buf(64);
    DWORD size = static_cast<DWORD>(buf.size()), type = 0;
    LSTATUS rc = RegQueryValueExA(h, name, nullptr, &type, buf.data(), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_BINARY) Die("bad value " + path + "\\" + name);
    buf.resize(size);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    bool keep = argc > 1 && std::strcmp(argv[1], "--keep") == 0;
    int arg = keep ? 2 : 1;
    std::string dir = argc > arg ? argv[arg] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    std::string tmpl = dir + "/regbench.XXXXXX";
    if (!mkdtemp(tmpl.data())) Die("cannot make a directory in " + dir);
    const std::string file = tmpl + "/registry.reg";

    auto t0 = std::chrono::steady_clock::now();
    HKEY cls = Create(HKEY_LOCAL_MACHINE, kClassPath);  // 5 keys
    for (int i = 0; i < kInstances; ++i) MakeInstance(cls, i, i == kInstances - 1 ? 5 : 0);
    RegCloseKey(cls);
    double t_gen = Seconds(t0);
    long peak_after_gen = PeakKb();

    std::string error;
    t0 = std::chrono::steady_clock::now();
    if (!hostwin::RegistrySave(file, &error)) Die(error);
    double t_save = Seconds(t0);
    struct stat st;
    if (stat(file.c_str(), &st) != 0) Die("cannot stat " + file);
    double file_mb = static_cast<double>(st.st_size) / (1024.0 * 1024.0);

    t0 = std::chrono::steady_clock::now();
    hostwin::RegistryClear();
    double t_clear = Seconds(t0);

    t0 = std::chrono::steady_clock::now();
    if (!hostwin::RegistryImport(file, &error)) Die(error);
    double t_load = Seconds(t0);

    // Check: every key is back, and a sample of values is exact.
    size_t keys = CountKeys(HKEY_LOCAL_MACHINE) - 1;
    if (keys != 100000) Die("expected 100000 keys, found " + std::to_string(keys));
    for (int i : {0, 1, 517, 998, 999}) {
        std::string inst = std::string(kClassPath) + "\\" + Instance(i);
        if (ReadSz(inst, "DriverDesc") != Desc(i)) Die("DriverDesc differs in " + inst);
        if (ReadBinary(inst, "InstallTimeStamp") != Blob(i + 7, 16)) Die("InstallTimeStamp differs in " + inst);
        if (ReadBinary(inst + "\\Ndi\\Params\\ChannelEx", "Flags") != Blob(i * 100 + 27, 4))
            Die("Flags differs in " + inst);
        if (ReadSz(inst + "\\Ndi\\Params\\AuthMode\\enum", "2") != "Auto") Die("enum differs in " + inst);
    }
    long peak = PeakKb();
    if (keep) {
        std::printf("file kept:       %s\n", file.c_str());
    } else {
        unlink(file.c_str());
        rmdir(tmpl.c_str());
    }

    std::printf("keys:            100000\n");
    std::printf("values:          500000\n");
    std::printf("file size:       %.1f MiB (%lld bytes)\n", file_mb, static_cast<long long>(st.st_size));
    std::printf("build (API):     %.3f s\n", t_gen);
    std::printf("save:            %.3f s\n", t_save);
    std::printf("clear:           %.3f s\n", t_clear);
    std::printf("load:            %.3f s\n", t_load);
    std::printf("peak RSS:        %.1f MiB after building, %.1f MiB overall\n", peak_after_gen / 1024.0, peak / 1024.0);
    std::printf("peak / file:     %.2f\n", (peak / 1024.0) / file_mb);
    bool ok = t_save < 1.0 && t_load < 1.0 && (peak / 1024.0) < 3 * file_mb;
    std::printf("targets (save < 1 s, load < 1 s, peak < 3 x file): %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 2;
}
