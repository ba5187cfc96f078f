// make_icon SOURCE ICO: writes the applet's icon file from its text source
// (src/res/SNKES48_icon.txt).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "icon_source.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icon SOURCE.txt OUT.ico\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    icon_source::IconSource source;
    std::string error;
    if (!icon_source::ParseIconSource(text, &source, &error)) {
        std::fprintf(stderr, "make_icon: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::vector<uint8_t> ico = icon_source::EncodeIcon(source);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
