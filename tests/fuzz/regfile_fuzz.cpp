// The regedit file importer against any file, in both formats.
//
// The first input byte chooses how the rest is presented:
//   0: as it is (any header, any encoding);
//   1: behind a "REGEDIT4" header line;
//   2: as version 5: byte-order mark and header in UTF-16LE, then the rest
//      as UTF-16LE code units (characters beyond 8 bits included);
//   3: as version 5 with each remaining byte widened to one code unit.
// Every run starts from the same small registry. A refused file must leave
// it byte for byte as it was and name the file and a line; after an
// accepted one the registry must save (to a hive in a scratch folder, in
// memory where /dev/shm exists) as its export text, and that text must
// import without error and export the same.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_input.h"
#include "hostctl.h"
#include "hostwin.h"

namespace {

constexpr char kName[] = "fuzz.reg";
constexpr char kStart[] =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Base]\r\n\"Text\"=\"base\"\r\n\"Number\"=dword:00000001\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Base\\Sub]\r\n@=hex:01,02\r\n[HKEY_CURRENT_USER\\Other]\r\n\"x\"=hex(7):61,00,"
    "00\r\n";
constexpr char kHeader5[] = "Windows Registry Editor Version 5.00\r\n";

std::string Widened(const std::string& bytes) {
    std::string out;
    out.reserve(2 * bytes.size());
    for (char c : bytes) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string Present(FuzzInput& in) {
    const uint8_t mode = in.Byte() % 4;
    const std::string rest = in.Rest();
    switch (mode) {
        case 1:
            return "REGEDIT4\r\n" + rest;
        case 2:
            return "\xFF\xFE" + Widened(kHeader5) + rest;
        case 3:
            return "\xFF\xFE" + Widened(kHeader5) + Widened(rest);
        default:
            return rest;
    }
}

// A hive file of this process's own, in memory where possible.
const std::string& HivePath() {
    static const std::string path = [] {
        struct stat st;
        const char* tmp = std::getenv("TMPDIR");
        std::string base =
            stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : (tmp && *tmp ? tmp : "/tmp");
        static std::string dir = base + "/regfile_fuzz.XXXXXX";
        FUZZ_CHECK(mkdtemp(dir.data()) != nullptr, "cannot make a scratch folder in " + base);
        std::atexit([] {
            unlink((dir + "/hive.reg").c_str());
            unlink((dir + "/.hive.reg.lock").c_str());
            rmdir(dir.c_str());
        });
        return dir + "/hive.reg";
    }();
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// "fuzz.reg:N: " with N from 1 to `lines`.
bool NamesFileAndLine(const std::string& error, size_t lines) {
    const std::string prefix = std::string(kName) + ":";
    if (error.compare(0, prefix.size(), prefix) != 0) return false;
    size_t i = prefix.size();
    size_t line = 0;
    while (i < error.size() && error[i] >= '0' && error[i] <= '9' && line <= lines)
        line = line * 10 + (error[i++] - '0');
    return line >= 1 && line <= lines && error.compare(i, 2, ": ") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string file = Present(in);

    hostwin::RegistryClear();
    std::string error;
    FUZZ_CHECK(hostwin::RegistryImportText(kStart, "start.reg", &error), error);
    const std::string before = hostwin::RegistryExportText();

    if (!hostwin::RegistryImportText(file, kName, &error)) {
        // Every line break of either format holds a 0x0A byte.
        size_t lines = 1;
        for (char c : file) lines += c == '\n';
        FUZZ_CHECK(NamesFileAndLine(error, lines), "error: " + error);
        FUZZ_CHECK(hostwin::RegistryExportText() == before, "a refused file changed the registry: " + error);
    } else {
        const std::string first = hostwin::RegistryExportText();
        FUZZ_CHECK(hostwin::RegistrySave(HivePath(), &error), "an accepted file cannot be saved: " + error);
        FUZZ_CHECK(ReadFile(HivePath()) == first, "the saved hive is not the export text");
        hostwin::RegistryClear();
        FUZZ_CHECK(hostwin::RegistryImportText(first, "export.reg", &error),
                   "the export of an accepted file does not import: " + error + "\n" + first);
        const std::string second = hostwin::RegistryExportText();
        FUZZ_CHECK(second == first, "export, import, export changed the text:\n" + first + "\n----\n" + second);
    }
    FUZZ_CHECK(hostwin::RegistryOpenHandleCount() == 0, "a registry handle was left open");
    return 0;
}
