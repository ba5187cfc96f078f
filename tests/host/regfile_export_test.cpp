// Writing REGEDIT4 text: the exact layout regedit uses, and round trips of
// every kind of value through export and import.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "host_registry.h"
#include "store/registry_access.h"

namespace {

using RegExport = HostRegistryTest;

TEST_F(RegExport, WritesRegeditLayout) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Software\\Exp");
    SetRaw(h, "sz", REG_SZ, std::string("a\"b\\c\0", 6));
    SetRaw(h, nullptr, REG_SZ, std::string("\0", 1));
    SetRaw(h, "noterm", REG_SZ, "ab");
    SetRaw(h, "two", REG_SZ, std::string("a\0\0", 3));
    SetRaw(h, "inner", REG_SZ, std::string("a\0b\0", 4));
    SetRaw(h, "crlf", REG_SZ, std::string("a\r\nb\0", 5));
    SetRaw(h, "dw", REG_DWORD, Bytes({0x2a, 0, 0, 0}));
    SetRaw(h, "dw3", REG_DWORD, Bytes({1, 2, 3}));
    SetRaw(h, "bin", REG_BINARY, Bytes({0xde, 0xad}));
    SetRaw(h, "emptybin", REG_BINARY, "");
    SetRaw(h, "exp", REG_EXPAND_SZ, std::string("%A%\0", 4));
    SetRaw(h, "q\\\"", 11, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    SetRaw(h, "hi", REG_SZ, std::string("\xe9\0", 2));
    RegCloseKey(CreateKey(h, "b"));
    RegCloseKey(CreateKey(h, "A\\Deep"));
    RegCloseKey(CreateKey(h, "_u"));
    HKEY b = CreateKey(h, "b");
    SetRaw(b, "v", REG_DWORD, Bytes({1, 0, 0, 0}));
    RegCloseKey(b);
    RegCloseKey(h);

    const std::string expected =
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Exp]\r\n"
        "\"sz\"=\"a\\\"b\\\\c\"\r\n"
        "@=\"\"\r\n"
        "\"noterm\"=hex(1):61,62\r\n"
        "\"two\"=hex(1):61,00,00\r\n"
        "\"inner\"=hex(1):61,00,62,00\r\n"
        "\"crlf\"=hex(1):61,0d,0a,62,00\r\n"
        "\"dw\"=dword:0000002a\r\n"
        "\"dw3\"=hex(4):01,02,03\r\n"
        "\"bin\"=hex:de,ad\r\n"
        "\"emptybin\"=hex:\r\n"
        "\"exp\"=hex(2):25,41,25,00\r\n"
        "\"q\\\\\\\"\"=hex(b):01,02,03,04,05,06,07,08\r\n"
        "\"hi\"=\"\xe9\"\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Exp\\A]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Exp\\A\\Deep]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Exp\\b]\r\n"
        "\"v\"=dword:00000001\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Exp\\_u]\r\n"
        "\r\n";
    EXPECT_EQ(hostwin::RegistryExportText("HKEY_LOCAL_MACHINE\\Software\\Exp"), expected);
    // The subtree is found whatever the case; the output keeps the stored one.
    EXPECT_EQ(hostwin::RegistryExportText("hkey_local_machine\\SOFTWARE\\exp"), expected);
    EXPECT_EQ(hostwin::RegistryExportText("HKEY_LOCAL_MACHINE\\Software\\Missing"), "REGEDIT4\r\n\r\n");
}

TEST_F(RegExport, WholeRegistryListsNonEmptyRootsInRegeditOrder) {
    RegCloseKey(CreateKey(HKEY_LOCAL_MACHINE, "M"));
    RegCloseKey(CreateKey(HKEY_CURRENT_USER, "U"));
    EXPECT_EQ(hostwin::RegistryExportText(),
              "REGEDIT4\r\n\r\n"
              "[HKEY_CURRENT_USER]\r\n\r\n[HKEY_CURRENT_USER\\U]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE]\r\n\r\n[HKEY_LOCAL_MACHINE\\M]\r\n\r\n");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

TEST_F(RegExport, WrapsLongHexDataLikeRegedit) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "W");
    std::string data;
    for (int i = 0; i < 100; ++i) data.push_back(static_cast<char>(i));
    SetRaw(h, "Data", REG_BINARY, data);
    RegCloseKey(h);
    std::vector<std::string> lines = Lines(hostwin::RegistryExportText("HKEY_LOCAL_MACHINE\\W"));
    // REGEDIT4, blank, section, then the value over five lines.
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[3], "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\");
    EXPECT_EQ(lines[4], "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\");
    EXPECT_EQ(lines[5], "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,\\");
    EXPECT_EQ(lines[6], "  48,49,4a,4b,4c,4d,4e,4f,50,51,52,53,54,55,56,57,58,59,5a,5b,5c,5d,5e,5f,60,\\");
    EXPECT_EQ(lines[7], "  61,62,63");
}

TEST_F(RegExport, WrappedLinesStayWithinEightyColumnsForAnyNameLength) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "W");
    // Up to 69 characters "name"=hex(7):\ still fits in 80 columns.
    for (size_t len : {0, 1, 7, 8, 9, 30, 66, 67, 68, 69}) {
        std::string name(len, 'n');
        SetRaw(h, name.c_str(), REG_MULTI_SZ, std::string(200, 'x'));
    }
    RegCloseKey(h);
    const std::string text = hostwin::RegistryExportText("HKEY_LOCAL_MACHINE\\W");
    for (const std::string& line : Lines(text)) {
        EXPECT_LE(line.size(), 80u) << line;
        // Continued after a byte's comma, or, when the name leaves no room,
        // straight after "hex(7):".
        if (line.size() > 2 && line.back() == '\\') {
            EXPECT_TRUE(line[line.size() - 2] == ',' || line.ends_with("hex(7):\\")) << line;
        }
    }
    const std::string before = Dump("HKEY_LOCAL_MACHINE\\W");
    hostwin::RegistryClear();
    std::string error;
    ASSERT_TRUE(hostwin::RegistryImportText(text, "wrapped.reg", &error)) << error;
    EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE\\W"), before);
}

// A store holding every kind of value and awkward names, for round trips.
void FillEveryKind() {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Software\\Round [trip] = \"all\"");
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    SetRaw(h, "all bytes", REG_BINARY, all);
    SetRaw(h, "all bytes as string", REG_SZ, all);
    std::string text;
    for (int i = 1; i < 256; ++i)
        if (i != '\r' && i != '\n') text.push_back(static_cast<char>(i));
    text.push_back('\0');
    SetRaw(h, "every string byte", REG_SZ, text);
    SetRaw(h, "lines", REG_SZ, std::string("one\r\ntwo\n\0", 10));
    SetRaw(h, "empty", REG_SZ, std::string("\0", 1));
    SetRaw(h, "none at all", REG_SZ, "");
    SetRaw(h, nullptr, REG_EXPAND_SZ, std::string("%PATH%;x\0", 9));
    SetRaw(h, "multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    SetRaw(h, "dword", REG_DWORD, Bytes({0xff, 0xfe, 0x00, 0x80}));
    SetRaw(h, "short dword", REG_DWORD, Bytes({0xff}));
    SetRaw(h, "qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    SetRaw(h, "big-endian", REG_DWORD_BIG_ENDIAN, Bytes({0, 0, 0, 1}));
    SetRaw(h, "none", REG_NONE, "");
    SetRaw(h, "odd type", 0xffffffffu, "zz");
    SetRaw(h, "big", REG_BINARY, std::string(10000, '\x5a'));
    std::string printable;
    for (int c = 32; c < 127; ++c) printable.push_back(static_cast<char>(c));
    SetRaw(h, printable.c_str(), REG_SZ, std::string("name\0", 5));
    RegCloseKey(CreateKey(h, "Empty"));
    RegCloseKey(CreateKey(h, std::string(255, 'L')));
    std::string deep = "d";
    for (int i = 0; i < 200; ++i) deep += "\\d";
    HKEY d = CreateKey(h, deep);
    SetRaw(d, "leaf", REG_DWORD, Bytes({7, 0, 0, 0}));
    RegCloseKey(d);
    RegCloseKey(h);
    h = CreateKey(HKEY_CLASSES_ROOT, ".ext");
    SetRaw(h, nullptr, REG_SZ, std::string("file\0", 5));
    RegCloseKey(h);
}

TEST_F(RegExport, EveryKindOfValueSurvivesSavingAndLoading) {
    FillEveryKind();
    const std::string text = hostwin::RegistryExportText();
    const std::string dump_lm = Dump("HKEY_LOCAL_MACHINE");
    const std::string dump_cr = Dump("HKEY_CLASSES_ROOT");
    ASSERT_NE(dump_lm.find("all bytes"), std::string::npos);

    hostwin::RegistryClear();
    std::string error;
    ASSERT_TRUE(hostwin::RegistryImportText(text, "round.reg", &error)) << error;
    EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE"), dump_lm);
    EXPECT_EQ(Dump("HKEY_CLASSES_ROOT"), dump_cr);
    EXPECT_EQ(hostwin::RegistryExportText(), text);

    // And the same through a saved file.
    char dir[] = "/tmp/regroundXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/every.reg";
    ASSERT_TRUE(hostwin::RegistrySave(path, &error)) << error;
    hostwin::RegistryClear();
    ASSERT_TRUE(hostwin::RegistryImport(path, &error)) << error;
    std::remove(path.c_str());
    std::remove((std::string(dir) + "/.every.reg.lock").c_str());
    rmdir(dir);
    EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE"), dump_lm);
    EXPECT_EQ(Dump("HKEY_CLASSES_ROOT"), dump_cr);
}

TEST_F(RegExport, LineBreaksInValueNamesAreEscapedAndReadBack) {
    std::string error;
    // An escaped line feed, and a raw carriage return inside the name.
    ASSERT_TRUE(hostwin::RegistryImportText(
        "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\N]\r\n\"a\\nb\"=\"1\"\r\n\"c\rd\"=\"2\"\r\n", "names.reg", &error))
        << error;
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "N");
    SetRaw(h, "\r\nboth\r\n", REG_DWORD, Bytes({3, 0, 0, 0}));
    RegCloseKey(h);
    const std::string dump = Dump("HKEY_LOCAL_MACHINE\\N");
    ASSERT_EQ(dump, "HKEY_LOCAL_MACHINE\\N\n  a\nb|1|3100\n  c\rd|1|3200\n  \r\nboth\r\n|4|03000000\n");
    const std::string text = hostwin::RegistryExportText();
    EXPECT_EQ(
        text,
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n\r\n[HKEY_LOCAL_MACHINE\\N]\r\n\"a\\nb\"=\"1\"\r\n\"c\\rd\"=\"2\"\r\n"
        "\"\\r\\nboth\\r\\n\"=dword:00000003\r\n\r\n");
    hostwin::RegistryClear();
    ASSERT_TRUE(hostwin::RegistryImportText(text, "again.reg", &error)) << error;
    EXPECT_EQ(Dump("HKEY_LOCAL_MACHINE\\N"), dump);
    EXPECT_EQ(hostwin::RegistryExportText(), text);
}

TEST_F(RegExport, AnEncodedKeyTextPassesThroughASavedFileUnchanged) {
    // A key text as the applet stores it (the record of the key text tests):
    // it holds a backslash and apostrophes, which the file must carry.
    const char kText[] =
        "C\\K;8V>+'VBO(AQ](6[UA=3[CW2:+7>=,'J@,WVC-GbF.8.I/(:L/XFO0HRG17^D&F.,'F.()F_?<[Ja49ZeV+)'5:3*7:?-8*K08V";
    ASSERT_EQ(WriteTextValue(HKEY_LOCAL_MACHINE, "Software\\Keys", "Encryption", kText), 1);
    const std::string text = hostwin::RegistryExportText("HKEY_LOCAL_MACHINE\\Software\\Keys");
    EXPECT_NE(text.find("\r\n\"Encryption\"=\"C\\\\K;8V>+'VBO("), std::string::npos) << text;

    char dir[] = "/tmp/regkeytextXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/keys.reg";
    std::string error;
    ASSERT_TRUE(hostwin::RegistrySave(path, &error)) << error;
    hostwin::RegistryClear();
    ASSERT_TRUE(hostwin::RegistryImport(path, &error)) << error;
    std::remove(path.c_str());
    std::remove((std::string(dir) + "/.keys.reg.lock").c_str());
    rmdir(dir);
    char back[256] = "";
    ASSERT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, "Software\\Keys", "Encryption", back), 1);
    EXPECT_STREQ(back, kText);
}

TEST_F(RegExport, ImportMergesIntoWhatIsThere) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Merge");
    SetRaw(h, "first", REG_SZ, std::string("1", 2));
    SetRaw(h, "second", REG_SZ, std::string("2", 2));
    RegCloseKey(h);
    std::string error;
    ASSERT_TRUE(hostwin::RegistryImportText(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Merge]\n\"SECOND\"=\"two, longer\"\n\"third\"=dword:3\n", "m.reg", &error))
        << error;
    EXPECT_EQ(Dump("HKLM\\Merge"),
              "HKEY_LOCAL_MACHINE\\Merge\n  first|1|3100\n  second|1|74776f2c206c6f6e67657200\n"
              "  third|4|03000000\n");
}

}  // namespace
