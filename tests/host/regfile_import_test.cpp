// Importing regedit files: both formats, merging, deletions, and bad files
// that must leave the registry untouched.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>

#include "host_registry.h"

namespace {

// Bytes of UTF-16LE text with a byte-order mark.
std::string Utf16Bytes(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

struct GoodCase {
    const char* what;
    std::string file;
    std::string dump;  // Dump("HKEY_LOCAL_MACHINE\\S") afterwards
};

void PrintTo(const GoodCase& c, std::ostream* os) {
    *os << c.what;
}

class ImportGood : public HostRegistryTest, public ::testing::WithParamInterface<GoodCase> {};

TEST_P(ImportGood, GivesTheExpectedKeysAndValues) {
    std::string error;
    ASSERT_TRUE(hostwin::RegistryImportText(GetParam().file, "good.reg", &error)) << error;
    EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE\\S"), GetParam().dump);
}

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ImportGood,
    ::testing::Values(
        GoodCase{"every value form",
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n"
                 "\"sz\"=\"text\"\n@=\"default\"\n\"empty\"=\"\"\n\"dw\"=dword:0000002a\n"
                 "\"bin\"=hex:00,7f,80,ff\n\"exp\"=hex(2):25,41,25,00\n\"multi\"=hex(7):61,00,62,00,00\n"
                 "\"none\"=hex(0):\n\"q\"=hex(b):01,02,03,04,05,06,07,08\n\"big\"=hex(100000):0a\n",
                 "HKEY_LOCAL_MACHINE\\S\n  sz|1|7465787400\n  @|1|64656661756c7400\n  empty|1|00\n"
                 "  dw|4|2a000000\n  bin|3|007f80ff\n  exp|2|25412500\n  multi|7|6100620000\n  none|0|\n"
                 "  q|11|0102030405060708\n  big|1048576|0a\n"},
        GoodCase{"escapes in names and strings",
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n"
                 "\"a\\\\b\\\"c\"=\"C:\\\\dir\\\\\\\"q\\\"\"\n\"nl\"=\"1\\r\\n2\"\n\"=[]\"=\"@\"\n",
                 "HKEY_LOCAL_MACHINE\\S\n  a\\b\"c|1|433a5c6469725c22712200\n  nl|1|310d0a3200\n  =[]|1|4000\n"},
        GoodCase{"continuation lines, CRLF, comments, blanks, loose spacing",
                 "REGEDIT4\r\n; a comment\r\n\r\n[HKEY_LOCAL_MACHINE\\S]\r\n  ; indented comment\r\n"
                 "\"b\" = hex:01,02,\\\r\n    03,04,\\\r\n\t05\r\n"
                 "\"c\"=hex:\\\r\n  aa,BB\r\n"
                 "\"d\"=DWORD:FFFFFFFF   \r\n\r\n\r\n\"e\"=hex:1,2,a\r\n",
                 "HKEY_LOCAL_MACHINE\\S\n  b|3|0102030405\n  c|3|aabb\n  d|4|ffffffff\n  e|3|01020a\n"},
        GoodCase{"sections merge whatever the case; empty keys are made",
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S\\Key]\n\"v\"=\"1\"\n[hkey_local_machine\\s\\KEY\\Empty]\n"
                 "[HKEY_LOCAL_MACHINE\\s\\key]\n\"V\"=\"2\"\n\"w\"=dword:1\n",
                 "HKEY_LOCAL_MACHINE\\S\n"
                 "HKEY_LOCAL_MACHINE\\S\\Key\n  v|1|3200\n  w|4|01000000\n"
                 "HKEY_LOCAL_MACHINE\\S\\Key\\Empty\n"},
        GoodCase{"deleting keys and values; values under a deleted key are ignored",
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S\\Gone\\Deep]\n\"x\"=\"1\"\n[HKEY_LOCAL_MACHINE\\S]\n"
                 "\"keep\"=\"k\"\n\"drop\"=\"d\"\n\"drop\"=-\n\"never\"=-\n"
                 "[-HKEY_LOCAL_MACHINE\\S\\Gone]\n\"lost\"=\"l\"\n[-HKEY_LOCAL_MACHINE\\S\\NotThere]\n",
                 "HKEY_LOCAL_MACHINE\\S\n  keep|1|6b00\n"},
        GoodCase{"version 5: UTF-16 text, string types narrowed to 8 bits",
                 Utf16Bytes(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\S]\r\n"
                            u"\"caf\u00e9\"=\"\u20ac5 \u00fc\"\r\n"
                            u"\"exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                            u"\"multi\"=hex(7):61,00,00,00,ac,20,00,00,00,00\r\n"
                            u"\"sz\"=hex(1):3d,d8,00,de,62,00,00,00\r\n"
                            u"\"bin\"=hex:61,00,62,00\r\n\"dw\"=dword:00000001\r\n"),
                 "HKEY_LOCAL_MACHINE\\S\n  caf\xe9|1|3f3520fc00\n  exp|2|25412500\n  multi|7|61003f0000\n"
                 "  sz|1|3f6200\n  bin|3|61006200\n  dw|4|01000000\n"},
        GoodCase{"version 5 header in an 8-bit file", kV5 + "[HKEY_LOCAL_MACHINE\\S]\r\n\"exp\"=hex(2):41,00,00,00\r\n",
                 "HKEY_LOCAL_MACHINE\\S\n  exp|2|4100\n"}));

TEST_F(HostRegistryTest, ImportAcceptsEveryRootAndRootLevelValues) {
    std::string error;
    ASSERT_TRUE(
        hostwin::RegistryImportText("REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n[HKEY_CURRENT_USER\\b]\n"
                                    "[HKEY_LOCAL_MACHINE]\n\"top\"=\"t\"\n[HKEY_USERS\\c]\n"
                                    "[HKEY_CURRENT_CONFIG\\d]\n",
                                    "roots.reg", &error))
        << error;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "a"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "b"));
    EXPECT_TRUE(KeyExists(HKEY_USERS, "c"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_CONFIG, "d"));
    EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, "top").data, std::string("t", 2));
}

struct BadCase {
    const char* what;
    std::string tail;  // appended to a sound beginning that changes things
    int line;
    const char* message;
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.what;
}

class ImportBad : public HostRegistryTest, public ::testing::WithParamInterface<BadCase> {};

// Six sound lines that would delete, create and change things if applied.
const std::string kSoundStart =
    "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Pre\\Sub]\n[HKEY_LOCAL_MACHINE\\Pre]\n\"v\"=\"changed\"\n\"w\"=-\n";
constexpr int kFirstBadLine = 7;

TEST_P(ImportBad, NamesFileAndLineAndChangesNothing) {
    std::string error;
    ASSERT_TRUE(hostwin::RegistryImportText(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Pre\\Sub]\n\"s\"=\"1\"\n[HKEY_LOCAL_MACHINE\\Pre]\n\"v\"=\"old\"\n"
        "\"w\"=dword:7\n[HKEY_CURRENT_USER\\Other]\n@=hex:01\n",
        "setup.reg", &error))
        << error;
    const std::string before = hostwin::RegistryExportText();

    const BadCase& c = GetParam();
    std::string text = c.line == 1 ? c.tail : kSoundStart + c.tail;
    EXPECT_FALSE(hostwin::RegistryImportText(text, "bad.reg", &error));
    std::string where = "bad.reg:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(error.substr(0, where.size()), where) << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(hostwin::RegistryExportText(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImportBad,
    ::testing::Values(
        BadCase{"unknown header", "REGEDIT5\n[HKEY_LOCAL_MACHINE\\Pre]\n", 1, "unknown header"},
        BadCase{"empty file", "", 1, "unknown header"},
        BadCase{"UTF-16 cut in half a character", std::string("\xFF\xFER\0E\0G", 7), 1, "odd number of bytes"},
        BadCase{"section without closing bracket", "[HKEY_LOCAL_MACHINE\\X\n", kFirstBadLine, "bad section"},
        BadCase{"unknown root", "[HKEY_LOCAL\\X]\n", kFirstBadLine, "unknown root key \"HKEY_LOCAL\""},
        BadCase{"short root names are not regedit's", "[HKLM\\X]\n", kFirstBadLine, "unknown root"},
        BadCase{"deleting a root", "[-HKEY_CURRENT_USER]\n", kFirstBadLine, "root key cannot be deleted"},
        BadCase{"carriage return inside a key name", "[HKEY_LOCAL_MACHINE\\Pre\\a\rb]\n", kFirstBadLine,
                "holds a line break"},
        BadCase{"carriage return ending a key name", "[HKEY_LOCAL_MACHINE\\a\r]\n", kFirstBadLine,
                "holds a line break"},
        BadCase{"name over 255 characters", "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", kFirstBadLine,
                "longer than 255"},
        BadCase{"path over 512 levels",
                [] {
                    std::string s = "[HKEY_LOCAL_MACHINE";
                    for (int i = 0; i < 513; ++i) s += "\\l";
                    return s + "]\n";
                }(),
                kFirstBadLine, "deeper than 512"},
        BadCase{"unterminated string", "\"a\"=\"abc\n", kFirstBadLine, "unterminated string"},
        BadCase{"unterminated name", "\"abc=\"x\"\n", kFirstBadLine, "expected '='"},
        BadCase{"string ends in a backslash", "\"a\"=\"abc\\\n", kFirstBadLine, "unterminated string"},
        BadCase{"bad escape", "\"a\"=\"c:\\temp\"\n", kFirstBadLine, "bad escape"},
        BadCase{"text after the string", "\"a\"=\"b\" x\n", kFirstBadLine, "after the string"},
        BadCase{"value name over 16383 characters", "\"" + std::string(16384, 'n') + "\"=\"v\"\n", kFirstBadLine,
                "value name longer"},
        BadCase{"dword with a non-hex digit", "\"d\"=dword:0000002g\n", kFirstBadLine, "bad dword"},
        BadCase{"dword with nine digits", "\"d\"=dword:123456789\n", kFirstBadLine, "bad dword"},
        BadCase{"dword without digits", "\"d\"=dword:\n", kFirstBadLine, "bad dword"},
        BadCase{"hex byte not hex", "\"h\"=hex:01,0g\n", kFirstBadLine, "bad hex byte"},
        BadCase{"hex byte of three digits", "\"h\"=hex:01,123\n", kFirstBadLine, "bad hex byte"},
        BadCase{"hex bytes without comma", "\"h\"=hex:01 02\n", kFirstBadLine, "bad hex byte"},
        BadCase{"hex with an empty byte", "\"h\"=hex:01,,02\n", kFirstBadLine, "bad hex byte"},
        BadCase{"continuation line that is not hex", "\"h\"=hex:01,\\\n  zz\n", kFirstBadLine + 1, "bad hex byte"},
        BadCase{"type not hex", "\"h\"=hex(q):01\n", kFirstBadLine, "bad value type"},
        BadCase{"type unclosed", "\"h\"=hex(2:01\n", kFirstBadLine, "bad value type"},
        BadCase{"continuation at end of file", "\"ok\"=\"1\"\n\"h\"=hex:01,02,\\\n", kFirstBadLine + 1,
                "continued past the end"},
        BadCase{"continuation into a blank line", "\"h\"=hex:01,\\\n\n\"x\"=\"1\"\n", kFirstBadLine,
                "continued past the end"},
        BadCase{"unknown data form", "\"u\"=qword:1\n", kFirstBadLine, "unknown value data"},
        BadCase{"stray text", "junk\n", kFirstBadLine, "unrecognised line"}));

// Version 5 names are UTF-16; the registry keeps 8-bit names. A name with a
// character the code page lacks would become '?' and merge with its
// neighbours, so the file is refused where such a name stands.
struct V5NameCase {
    const char* what;
    std::u16string lines;  // after the header
    int line;              // 0: accepted
    std::string dump;      // Dump("HKEY_LOCAL_MACHINE\\K") when accepted
};

void PrintTo(const V5NameCase& c, std::ostream* os) {
    *os << c.what;
}

class ImportV5Names : public HostRegistryTest, public ::testing::WithParamInterface<V5NameCase> {};

TEST_P(ImportV5Names, AreKeptOrRefusedNeverMerged) {
    std::string error;
    ASSERT_TRUE(
        hostwin::RegistryImportText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Before]\n\"v\"=dword:1\n", "setup.reg", &error));
    const std::string before = hostwin::RegistryExportText();
    const V5NameCase& c = GetParam();
    const bool accepted = hostwin::RegistryImportText(
        Utf16Bytes(u"Windows Registry Editor Version 5.00\r\n\r\n" + c.lines), "names.reg", &error);
    if (c.line == 0) {
        ASSERT_TRUE(accepted) << error;
        EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE\\K"), c.dump);
        return;
    }
    EXPECT_FALSE(accepted);
    const std::string where = "names.reg:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(error.substr(0, where.size()), where) << error;
    EXPECT_NE(error.find("outside the 8-bit code page"), std::string::npos) << error;
    EXPECT_EQ(hostwin::RegistryExportText(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImportV5Names,
    ::testing::Values(
        V5NameCase{"two Greek key names",
                   u"[HKEY_LOCAL_MACHINE\\K\\\u03a9]\r\n\"v\"=\"omega\"\r\n[HKEY_LOCAL_MACHINE\\K\\\u03a3]\r\n", 3, ""},
        V5NameCase{"a key name deep in the path",
                   u"[HKEY_LOCAL_MACHINE\\K]\r\n\r\n[HKEY_LOCAL_MACHINE\\K\\a\u20acb\\c]\r\n", 5, ""},
        V5NameCase{"a value name", u"[HKEY_LOCAL_MACHINE\\K]\r\n\"\u03a9\"=\"1\"\r\n", 4, ""},
        V5NameCase{"a value name with an escape before the character",
                   u"[HKEY_LOCAL_MACHINE\\K]\r\n\"\\\"\u03a3\"=dword:00000001\r\n", 4, ""},
        V5NameCase{"a surrogate pair in a key name", u"[HKEY_LOCAL_MACHINE\\K\\\U0001F600]\r\n", 3, ""},
        V5NameCase{"a value name that is only deleted", u"[HKEY_LOCAL_MACHINE\\K]\r\n\"\u03a9\"=-\r\n", 4, ""},
        V5NameCase{"Latin-1 names are kept", u"[HKEY_LOCAL_MACHINE\\K\\caf\u00e9]\r\n\"\u00fc\"=\"1\"\r\n", 0,
                   "HKEY_LOCAL_MACHINE\\K\nHKEY_LOCAL_MACHINE\\K\\caf\xe9\n  \xfc|1|3100\n"},
        V5NameCase{"such characters in data narrow as the A functions read them",
                   u"[HKEY_LOCAL_MACHINE\\K]\r\n\"v\"=\"\u03a9\"\r\n; \u03a3 in a comment\r\n", 0,
                   "HKEY_LOCAL_MACHINE\\K\n  v|1|3f00\n"}));

TEST_F(HostRegistryTest, ValueBeforeAnySectionIsRefused) {
    std::string error;
    EXPECT_FALSE(hostwin::RegistryImportText("REGEDIT4\n\n\"a\"=\"b\"\n", "early.reg", &error));
    EXPECT_EQ(error, "early.reg:3: value outside of any section");
    EXPECT_EQ(hostwin::RegistryExportText(), "REGEDIT4\r\n\r\n");
}

TEST_F(HostRegistryTest, ImportFromFileNamesTheFileInErrors) {
    std::string error;
    EXPECT_FALSE(hostwin::RegistryImport("/nonexistent/dir/x.reg", &error));
    EXPECT_NE(error.find("/nonexistent/dir/x.reg"), std::string::npos) << error;

    char path[] = "/tmp/regimportXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string sound = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\F]\r\n\"v\"=dword:00000003\r\n";
    std::string text = Utf16(sound + "\"bad\"=hex:0x\r\n");
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    EXPECT_FALSE(hostwin::RegistryImport(path, &error));
    EXPECT_EQ(error.substr(0, std::string(path).size() + 3), std::string(path) + ":5:") << error;
    EXPECT_FALSE(KeyExists(HKEY_USERS, "F"));

    std::ofstream(path, std::ios::binary) << Utf16(sound);
    EXPECT_TRUE(hostwin::RegistryImport(path, &error)) << error;
    EXPECT_EQ(Dump("HKEY_USERS\\F"), "HKEY_USERS\\F\n  v|4|03000000\n");
    std::remove(path);
}

}  // namespace
