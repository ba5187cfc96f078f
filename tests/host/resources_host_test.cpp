// The host layer's own resource machinery, which has no Windows counterpart
// to run against: the icon file made from its source, the image LoadIconA
// takes and its pixels, the .res reader on damaged input, the icon image
// decoder, and the module table's use counts and names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"
#include "icon_source.h"
#include "res/resource.h"
#include "res_file.h"
#include "resources_internal.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

icon_source::IconSource AppletIconSource() {
    icon_source::IconSource source;
    std::string error;
    EXPECT_TRUE(icon_source::ParseIconSource(ReadFile(SNKES_SOURCE_DIR "/src/res/SNKES48_icon.txt"), &source, &error))
        << error;
    return source;
}

HMODULE AppletModule() {
    return GetModuleHandleA("SNKES48.CPL");
}

// ---- The icon -----------------------------------------------------------------

// The kept .ico is exactly what make_icon makes of the kept source.
TEST(AppletIconFile, IsMadeFromItsSource) {
    const icon_source::IconSource source = AppletIconSource();
    const std::vector<uint8_t> made = icon_source::EncodeIcon(source);
    const std::string kept = ReadFile(SNKES_SOURCE_DIR "/src/res/SNKES48.ico");
    ASSERT_EQ(made.size(), kept.size()) << "run tools/make_icon on src/res/SNKES48_icon.txt";
    EXPECT_TRUE(std::memcmp(made.data(), kept.data(), made.size()) == 0)
        << "run tools/make_icon on src/res/SNKES48_icon.txt";
}

TEST(AppletIconFile, TheSourceHasTheThreeSizes) {
    const icon_source::IconSource source = AppletIconSource();
    ASSERT_EQ(source.maps.size(), 3u);
    EXPECT_EQ(source.maps[0].size, 16);
    EXPECT_EQ(source.maps[1].size, 32);
    EXPECT_EQ(source.maps[2].size, 48);
}

TEST(AppletIconFile, ABadSourceIsRefusedWithItsLine) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"colour . 00000000\nsize 2\n..\n.x\n", "line 4: no colour for pixel 'x'"},
        {"colour . 00000000\nsize 2\n..\n...\n", "line 4: a row of 2 pixels expected"},
        {"colour . 00000000\nsize 2\n..\n", "line 3: the last map ends early"},
        {"colour . 00000000\ncolour . ffffffff\n", "line 2: colour '.' given twice"},
        {"colour . 0000zz00\n", "line 1: colour C RRGGBBAA expected"},
        {"colour . 00000000\n", "line 1: no pixel map"},
        {"picture\n", "line 1: colour, size or a comment expected"},
    };
    for (const Case& c : cases) {
        icon_source::IconSource source;
        std::string error;
        EXPECT_FALSE(icon_source::ParseIconSource(c.text, &source, &error)) << c.text;
        EXPECT_EQ(error, c.reason) << c.text;
    }
}

// LoadIconA takes the 32 x 32 image of the most colours, and its pixels are
// the source's, alpha included.
TEST(AppletIcon, LoadIconTakesTheLarge32BitImageWithTheSourcesPixels) {
    HICON icon = LoadIconA(AppletModule(), MAKEINTRESOURCEA(IDI_APPLET));
    ASSERT_NE(icon, nullptr);
    hostwin::IconImage image;
    ASSERT_TRUE(hostwin::GetIconImage(icon, &image));
    EXPECT_EQ(image.width, 32);
    EXPECT_EQ(image.height, 32);
    EXPECT_EQ(image.bits, 32);
    ASSERT_EQ(image.pixels.size(), 32u * 32u);
    const icon_source::IconSource source = AppletIconSource();
    const icon_source::PixelMap& map = source.maps[1];
    int translucent = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint32_t want = icon_source::PixelArgb(source, map, x, y);
            ASSERT_EQ(image.pixels[static_cast<size_t>(y) * 32 + x], want) << x << "," << y;
            if ((want >> 24) != 0 && (want >> 24) != 0xFF) ++translucent;
        }
    }
    EXPECT_GT(translucent, 0) << "the shadow is what tells the 32-bit image from the 8-bit one";
    EXPECT_EQ(hostwin::FindIconImage(icon), hostwin::FindIconImage(icon));
    EXPECT_EQ(hostwin::FindIconImage(reinterpret_cast<HICON>(&image)), nullptr);
    EXPECT_FALSE(hostwin::GetIconImage(nullptr, &image));
    EXPECT_FALSE(DestroyIcon(nullptr));
}

// ---- Icon groups and images ----------------------------------------------------

TEST(IconChoice, TakesTheWantedSizeOfTheMostBitsElseTheNearest) {
    using hostwin::resfile::IconGroupEntry;
    struct Case {
        std::vector<IconGroupEntry> group;
        int expected;
    };
    const Case cases[] = {
        {{{48, 48, 8, 1}, {32, 32, 8, 2}, {32, 32, 32, 3}, {16, 16, 32, 4}}, 2},
        {{{32, 32, 32, 1}, {32, 32, 4, 2}}, 0},
        {{{16, 16, 8, 1}, {48, 48, 8, 2}}, 1},  // equally near: the larger
        {{{16, 16, 8, 1}, {24, 24, 4, 2}}, 1},  // the nearer, whatever its bits
        {{{64, 64, 32, 1}}, 0},
        {{}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(hostwin::resfile::ChooseIconImage(c.group, 32), c.expected);
}

// A bitmap of the icon's form: header, palette, colour rows and mask rows,
// bottom row first.
std::vector<uint8_t> MakeImage(int w, int h, int bits, const std::vector<uint32_t>& palette,
                               const std::vector<uint32_t>& values, const std::vector<int>& mask) {
    std::vector<uint8_t> out(40, 0);
    auto put32 = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<uint32_t>(w));
    put32(8, static_cast<uint32_t>(2 * h));
    out[12] = 1;
    out[14] = static_cast<uint8_t>(bits);
    put32(32, static_cast<uint32_t>(palette.size()));
    for (uint32_t rgb : palette) {
        out.push_back(static_cast<uint8_t>(rgb));
        out.push_back(static_cast<uint8_t>(rgb >> 8));
        out.push_back(static_cast<uint8_t>(rgb >> 16));
        out.push_back(0);
    }
    const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < w; ++x) {
            const uint32_t v = values[static_cast<size_t>(y * w + x)];
            if (bits <= 8) {
                const size_t bit = static_cast<size_t>(x) * bits;
                row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
            } else {
                for (int i = 0; i < bits / 8; ++i)
                    row[static_cast<size_t>(x * bits / 8 + i)] = static_cast<uint8_t>(v >> (8 * i));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    const size_t mask_stride = (static_cast<size_t>(w) + 31) / 32 * 4;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(mask_stride, 0);
        for (int x = 0; x < w; ++x) {
            if (mask[static_cast<size_t>(y * w + x)])
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

TEST(IconImageDecoder, ReadsEveryDepthWithItsMask) {
    struct Case {
        int bits;
        std::vector<uint32_t> palette;
        std::vector<uint32_t> values;  // palette indices, or 0xAARRGGBB / 0xRRGGBB
        std::vector<int> mask;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {1, {0x000000, 0xFFFFFF}, {1, 0, 0, 1}, {0, 0, 1, 0}, {0xFFFFFFFF, 0xFF000000, 0x00000000, 0xFFFFFFFF}},
        {4,
         {0x000000, 0x123456, 0xABCDEF},
         {2, 1, 1, 2},
         {0, 1, 0, 0},
         {0xFFABCDEF, 0x00123456, 0xFF123456, 0xFFABCDEF}},
        {8, {0x000000, 0x102030}, {1, 0, 1, 1}, {0, 1, 0, 0}, {0xFF102030, 0x00000000, 0xFF102030, 0xFF102030}},
        {24,
         {},
         {0x010203, 0x040506, 0x070809, 0x0A0B0C},
         {0, 0, 0, 1},
         {0xFF010203, 0xFF040506, 0xFF070809, 0x000A0B0C}},
        // 32 bits with alpha: the alpha as given, the mask aside.
        {32,
         {},
         {0x80010203, 0xFF040506, 0x00070809, 0x400A0B0C},
         {1, 1, 1, 1},
         {0x80010203, 0xFF040506, 0x00070809, 0x400A0B0C}},
        // 32 bits without any alpha: the mask decides.
        {32,
         {},
         {0x00010203, 0x00040506, 0x00070809, 0x000A0B0C},
         {0, 1, 0, 0},
         {0xFF010203, 0x00040506, 0xFF070809, 0xFF0A0B0C}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = MakeImage(2, 2, c.bits, c.palette, c.values, c.mask);
        int w = 0, h = 0, bits = 0;
        std::vector<uint32_t> pixels;
        std::string error;
        ASSERT_TRUE(hostwin::resfile::DecodeIconImage(bytes.data(), bytes.size(), &w, &h, &bits, &pixels, &error))
            << c.bits << ": " << error;
        EXPECT_EQ(w, 2);
        EXPECT_EQ(h, 2);
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(pixels, c.expected) << c.bits << " bits";
        // Every shorter copy fails, inside a buffer of its own size.
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_FALSE(hostwin::resfile::DecodeIconImage(part.data(), part.size(), &w, &h, &bits, &pixels, &error))
                << c.bits << " bits cut at " << cut;
        }
    }
}

TEST(IconImageDecoder, RefusesWhatItDoesNotRead) {
    std::vector<uint8_t> image = MakeImage(2, 2, 8, {0}, {0, 0, 0, 0}, {0, 0, 0, 0});
    int w = 0, h = 0, bits = 0;
    std::vector<uint32_t> pixels;
    std::string error;
    std::vector<uint8_t> compressed = image;
    compressed[16] = 1;  // run-length encoded
    EXPECT_FALSE(
        hostwin::resfile::DecodeIconImage(compressed.data(), compressed.size(), &w, &h, &bits, &pixels, &error));
    EXPECT_EQ(error, "a compressed bitmap");
    std::vector<uint8_t> png = image;
    const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::memcpy(png.data(), signature, sizeof signature);
    EXPECT_FALSE(hostwin::resfile::DecodeIconImage(png.data(), png.size(), &w, &h, &bits, &pixels, &error));
    EXPECT_EQ(error, "a PNG image");
    std::vector<uint8_t> odd = image;
    odd[8] = 3;  // an odd doubled height
    EXPECT_FALSE(hostwin::resfile::DecodeIconImage(odd.data(), odd.size(), &w, &h, &bits, &pixels, &error));
    std::vector<uint8_t> depth = image;
    depth[14] = 16;
    EXPECT_FALSE(hostwin::resfile::DecodeIconImage(depth.data(), depth.size(), &w, &h, &bits, &pixels, &error));
    EXPECT_EQ(error, "16 bits per pixel");
}

// ---- The .res reader -----------------------------------------------------------

// A .res as windres writes it: the empty marker entry, then one string block
// (block 1: strings 0 to 15) of which string 1 is "Hi", and one RCDATA entry
// named "BLOB" of three bytes (its padding left off at the end of the file).
std::vector<uint8_t> SmallRes() {
    std::vector<uint8_t> out;
    auto put16 = [&out](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(static_cast<uint16_t>(v));
        put16(static_cast<uint16_t>(v >> 16));
    };
    auto tail = [&](uint16_t language) {
        put32(0);  // data version
        put16(0x30);
        put16(language);
        put32(0);
        put32(0);
    };
    // The marker.
    put32(0);
    put32(32);
    put16(0xFFFF);
    put16(0);
    put16(0xFFFF);
    put16(0);
    tail(0);
    // The string block: 16 lengths, string 1 = "Hi".
    put32(2 * 18);
    put32(32);
    put16(0xFFFF);
    put16(6);
    put16(0xFFFF);
    put16(1);
    tail(0);
    put16(0);
    put16(2);
    put16('H');
    put16('i');
    for (int i = 2; i < 16; ++i) put16(0);
    while (out.size() % 4) out.push_back(0);
    // "BLOB", of type 10.
    put32(3);
    put32(40);
    put16(0xFFFF);
    put16(10);
    for (char16_t c : std::u16string(u"BLOB")) put16(c);
    put16(0);
    while (out.size() % 4) out.push_back(0);
    tail(0);
    out.push_back(1);
    out.push_back(2);
    out.push_back(3);
    return out;
}

TEST(ResReader, ReadsTheEntriesOfAResFile) {
    const std::vector<uint8_t> res = SmallRes();
    std::vector<hostwin::resfile::ResourceEntry> entries;
    std::string error;
    ASSERT_TRUE(hostwin::resfile::ReadResFile(res.data(), res.size(), &entries, &error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].type.is_ordinal);
    EXPECT_EQ(entries[0].type.ordinal, 6);
    EXPECT_EQ(entries[0].name.ordinal, 1);
    EXPECT_EQ(entries[0].size, 36u);
    EXPECT_EQ(entries[1].type.ordinal, 10);
    EXPECT_FALSE(entries[1].name.is_ordinal);
    EXPECT_EQ(entries[1].name.name, u"BLOB");
    ASSERT_EQ(entries[1].size, 3u);
    EXPECT_EQ(entries[1].data[2], 3);
}

TEST(ResReader, EveryCutOrDamageFailsOrStaysInside) {
    const std::vector<uint8_t> res = SmallRes();
    std::vector<hostwin::resfile::ResourceEntry> entries;
    std::string error;
    for (size_t cut = 1; cut < res.size(); ++cut) {
        // A cut exactly at an entry's end leaves a shorter, whole file.
        if (cut == 32 || cut == 32 + 32 + 36) continue;
        std::vector<uint8_t> part(res.begin(), res.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(hostwin::resfile::ReadResFile(part.data(), part.size(), &entries, &error)) << "cut at " << cut;
    }
    uint32_t seed = 7;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> damaged = res;
        seed = seed * 1103515245u + 12345u;
        damaged[(seed >> 8) % damaged.size()] = static_cast<uint8_t>(seed >> 24);
        seed = seed * 1103515245u + 12345u;
        damaged[(seed >> 8) % damaged.size()] = static_cast<uint8_t>(seed >> 24);
        if (hostwin::resfile::ReadResFile(damaged.data(), damaged.size(), &entries, &error)) {
            for (const auto& e : entries) {
                EXPECT_GE(e.data, damaged.data());
                EXPECT_LE(e.data + e.size, damaged.data() + damaged.size());
            }
        }
    }
}

// ---- Modules ---------------------------------------------------------------------

class Modules : public ::testing::Test {
protected:
    void TearDown() override { hostwin::ResetModules(); }
};

TEST_F(Modules, TheAppletsModuleCountsItsUsesAndUnloadsAtNone) {
    HMODULE applet = AppletModule();
    ASSERT_NE(applet, nullptr);
    EXPECT_EQ(hostwin::ModuleUseCount(applet), 1u);
    EXPECT_EQ(LoadLibraryA("SNKES48.CPL"), applet);
    EXPECT_EQ(hostwin::ModuleUseCount(applet), 2u);
    EXPECT_TRUE(FreeLibrary(applet));
    EXPECT_TRUE(FreeLibrary(applet));
    EXPECT_EQ(hostwin::ModuleUseCount(applet), 0u);
    // Unloaded: not found by name, its handle no module, one more release
    // refused.
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA("SNKES48.CPL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(FindResourceA(applet, MAKEINTRESOURCEA(IDD_ABOUT), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_FALSE(FreeLibrary(applet));
    // Loaded again, the same module with its resources.
    EXPECT_EQ(LoadLibraryA("snkes48.cpl"), applet);
    EXPECT_EQ(hostwin::ModuleUseCount(applet), 1u);
    EXPECT_NE(FindResourceA(applet, MAKEINTRESOURCEA(IDD_ABOUT), RT_DIALOG), nullptr);
}

TEST_F(Modules, TheMainModuleIsNeverUnloaded) {
    HMODULE main_module = GetModuleHandleA(nullptr);
    EXPECT_TRUE(FreeLibrary(main_module));
    EXPECT_TRUE(FreeLibrary(main_module));
    EXPECT_EQ(GetModuleHandleA(nullptr), main_module);
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(path[0], '/');
    // Found by its own name too; the program's name has no extension, so a
    // trailing dot keeps the loader from looking for one of ".DLL".
    const std::string base = std::string(std::strrchr(path, '/') + 1) + ".";
    EXPECT_EQ(GetModuleHandleA(base.c_str()), main_module);
    EXPECT_EQ(LoadLibraryA((std::string(path) + ".").c_str()), main_module);
}

TEST_F(Modules, NamesCompareAsTheLoaderComparesThem) {
    struct Case {
        const char* name;
        bool found;
    };
    const Case cases[] = {
        {"SNKES48.CPL", true},
        {"snkes48.cpl", true},
        {"C:\\WINDOWS\\SYSTEM\\SNKES48.CPL", true},
        {"/some/where/Snkes48.Cpl", true},
        {"SNKES48", false},      // means SNKES48.DLL
        {"SNKES48.CPL.", true},  // a trailing dot: no ".DLL" added
        {"SNKES48.", false},
        {"SNKES48.CP", false},
        {"SNKES48.CPLX", false},
        {"C:\\WINDOWS\\", false},
    };
    for (const Case& c : cases) {
        HMODULE m = LoadLibraryA(c.name);
        EXPECT_EQ(m != nullptr, c.found) << c.name;
        if (m != nullptr) FreeLibrary(m);
    }
}

TEST_F(Modules, DamagedResourcesRegisterAModuleWithoutThem) {
    std::vector<uint8_t> res = SmallRes();
    res.resize(res.size() - 10);
    EXPECT_FALSE(hostwin::RegisterModule("DAMAGED.DLL", res.data(), res.size()));
    HMODULE damaged = LoadLibraryA("DAMAGED.DLL");
    ASSERT_NE(damaged, nullptr);
    SetLastError(0);
    EXPECT_EQ(FindResourceA(damaged, MAKEINTRESOURCEA(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_FALSE(hostwin::RegisterModule("", res.data(), res.size()));
    EXPECT_FALSE(hostwin::RegisterModule(std::string(MAX_PATH, 'A').c_str(), res.data(), res.size()));
}

// A module registered twice holds both sets; strings and named resources are
// found in it.
TEST_F(Modules, ARegisteredModuleServesStringsAndNamedResources) {
    static const std::vector<uint8_t> res = SmallRes();
    ASSERT_TRUE(hostwin::RegisterModule("SMALL.DLL", res.data(), res.size()));
    HMODULE small = LoadLibraryA("small");
    ASSERT_EQ(small, GetModuleHandleA("SMALL.DLL"));
    char buffer[8];
    EXPECT_EQ(LoadStringA(small, 1, buffer, sizeof buffer), 2);
    EXPECT_STREQ(buffer, "Hi");
    const void* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(hostwin::FindResourceBytes(small, RT_RCDATA, "blob", &data, &size));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(static_cast<const uint8_t*>(data)[0], 1);
    EXPECT_FALSE(hostwin::FindResourceBytes(small, RT_RCDATA, "BLOBS", &data, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_FALSE(hostwin::FindResourceBytes(small, RT_DIALOG, "BLOB", &data, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

// Sizes the platform would take as an invitation to overrun (a negative
// one, and a missing buffer) write nothing.
TEST(HostLoadString, BadBuffersAreNotWritten) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(LoadStringA(AppletModule(), IDS_PAGE_BASIC, buffer, -1), -1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(LoadStringA(AppletModule(), IDS_PAGE_BASIC, nullptr, 4), 0);
}

}  // namespace
