// Writes HAND-M.CUR, the pointing hand Korvalux shows over its two buttons.
// The picture below is Korvalux's own drawing; the build runs this tool and
// puts the file beside the korvalux executable, where the window looks for it.
// Format: a Windows cursor resource (type 2) holding one 32 x 32 image as a
// 32-bit BGRA bitmap with its AND mask, hotspot at the tip of the finger.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

namespace
{

constexpr int side = 32;
constexpr std::uint16_t hotspotX = 10;
constexpr std::uint16_t hotspotY = 0;

// X outline, o palm, . transparent; top row first.
constexpr std::array<std::string_view, side> hand = {
    ".........XXX....................", //
    "........XoooX...................", //
    "........XoooX...................", //
    "........XoooX...................", //
    "........XoooX...................", //
    "........XoooX...................", //
    "........XoooX...................", //
    "........XoooXXXX................", //
    "........XoooXoooXXXX............", //
    "........XoooXoooXoooX...........", //
    "........XoooXoooXoooXXXX........", //
    "........XoooXoooXoooXoooX.......", //
    "...XXX..XoooooooooooooooX.......", //
    "..XoooX.XoooooooooooooooX.......", //
    "..XooooXXoooooooooooooooX.......", //
    "...XooooooooooooooooooooX.......", //
    "....XoooooooooooooooooooX.......", //
    ".....XooooooooooooooooooX.......", //
    "......XooooooooooooooooX........", //
    ".......XoooooooooooooooX........", //
    "........XoooooooooooooX.........", //
    "........XoooooooooooooX.........", //
    "........XoooooooooooooX.........", //
    "........XXXXXXXXXXXXXXX.........", //
    "................................", //
    "................................", //
    "................................", //
    "................................", //
    "................................", //
    "................................", //
    "................................", //
    "................................", //
};

constexpr bool drawingIsSquare()
{
    for (std::string_view row : hand)
        if (row.size() != side)
            return false;
    return hand[hotspotY][hotspotX] == 'X';
}
static_assert(drawingIsSquare(), "every row is 32 wide and the hotspot is on the outline");

void put16(std::vector<std::uint8_t> &out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v & 0xffff));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

std::vector<std::uint8_t> cursorFile()
{
    constexpr std::uint32_t headerBytes = 40;
    constexpr std::uint32_t colourBytes = side * side * 4;
    constexpr std::uint32_t maskBytes = side * (side / 8); // 32 bits a row, no padding needed
    constexpr std::uint32_t imageBytes = headerBytes + colourBytes + maskBytes;
    constexpr std::uint32_t imageOffset = 6 + 16;

    std::vector<std::uint8_t> out;
    put16(out, 0); // reserved
    put16(out, 2); // cursor
    put16(out, 1); // one image
    out.push_back(side);
    out.push_back(side);
    out.push_back(0); // no palette
    out.push_back(0);
    put16(out, hotspotX);
    put16(out, hotspotY);
    put32(out, imageBytes);
    put32(out, imageOffset);

    put32(out, headerBytes);
    put32(out, side);
    put32(out, side * 2); // colour image and mask stacked
    put16(out, 1); // planes
    put16(out, 32); // bits per pixel
    put32(out, 0); // uncompressed
    put32(out, colourBytes + maskBytes);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);

    for (int y = side - 1; y >= 0; --y) { // bitmaps run bottom-up
        for (char pixel : hand[static_cast<std::size_t>(y)]) {
            const std::uint8_t level = pixel == 'o' ? 0xff : 0x00;
            const std::uint8_t alpha = pixel == '.' ? 0x00 : 0xff;
            out.insert(out.end(), {level, level, level, alpha});
        }
    }
    for (int y = side - 1; y >= 0; --y) {
        const std::string_view row = hand[static_cast<std::size_t>(y)];
        for (int byte = 0; byte < side / 8; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (row[static_cast<std::size_t>(byte * 8 + bit)] == '.')
                    bits |= static_cast<std::uint8_t>(0x80 >> bit); // 1 lets the screen through
            out.push_back(bits);
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.CUR\n", argv[0]);
        return 2;
    }
    const std::vector<std::uint8_t> bytes = cursorFile();
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(
        reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "make-hand-cursor: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
