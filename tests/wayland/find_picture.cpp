// find-picture WHOLE.ppm PART.ppm: prints "X Y", the top-left corner of the
// first place where PART appears in WHOLE byte for byte, and exits 0; exits 1
// when it appears nowhere, 2 when a file cannot be read. Both files are
// binary PPM (P6, maximum value 255), as ImageMagick's convert writes them.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

// The next header number, skipping white space and comments.
bool readNumber(std::istream& in, int& value) {
    in >> std::ws;
    while (in.peek() == '#') {
        std::string comment;
        std::getline(in, comment);
        in >> std::ws;
    }
    return static_cast<bool>(in >> value);
}

bool load(const char* path, Picture& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    if (!(in >> magic) || magic != "P6" || !readNumber(in, picture.width) || !readNumber(in, picture.height) ||
        !readNumber(in, maximum) || maximum != 255 || picture.width <= 0 || picture.height <= 0)
        return false;
    in.get();  // the one white-space byte before the pixels
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size())));
}

bool matchesAt(const Picture& whole, const Picture& part, int x, int y) {
    const std::size_t rowBytes = static_cast<std::size_t>(part.width) * 3;
    for (int row = 0; row < part.height; ++row) {
        const unsigned char* a = &whole.rgb[(static_cast<std::size_t>(y + row) * whole.width + x) * 3];
        const unsigned char* b = &part.rgb[static_cast<std::size_t>(row) * rowBytes];
        if (std::memcmp(a, b, rowBytes) != 0) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: find-picture WHOLE.ppm PART.ppm\n");
        return 2;
    }
    Picture whole;
    Picture part;
    if (!load(argv[1], whole) || !load(argv[2], part)) {
        std::fprintf(stderr, "find-picture: cannot read %s or %s as binary PPM\n", argv[1], argv[2]);
        return 2;
    }
    for (int y = 0; y + part.height <= whole.height; ++y)
        for (int x = 0; x + part.width <= whole.width; ++x)
            if (matchesAt(whole, part, x, y)) {
                std::printf("%d %d\n", x, y);
                return 0;
            }
    return 1;
}
