// Build-time tool, not part of the viewer: renders the viewer's start picture with its own ray caster
// on a headless surface and writes the menu icons, a square crop of that picture scaled to each size,
// as PNG files. Running at build time keeps the icons the picture the program really draws.
//
//   make_icons OUTDIR SIZE...   writes OUTDIR/SIZExSIZE/apps/cellvane.png for every SIZE
#include "render/raycaster.h"
#include "shell/screen.h"
#include "world/grid.h"

#include <SDL/SDL.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // row by row, three bytes a pixel
};

// The start world seen by the start camera, drawn over the whole window.
Picture renderStartPicture() {
    // The invisible driver, asked for by name, gives the same 32-bit surface a display would.
    // putenv, which Windows has too, keeps the strings themselves.
    static char videoDriver[] = "SDL_VIDEODRIVER=dummy";
    static char audioDriver[] = "SDL_AUDIODRIVER=dummy";
    putenv(videoDriver);
    putenv(audioDriver);
    initVideo(screenWidth, screenHeight, 32);
    buildStartWorld();
    renderWidth = screenWidth;
    renderHeight = screenHeight;
    renderFrame();
    Picture picture{screenWidth, screenHeight, {}};
    picture.rgb.reserve(std::size_t(screenWidth) * screenHeight * 3);
    for (int y = 0; y < screenHeight; ++y) {
        const auto* row = reinterpret_cast<const Uint32*>(static_cast<const Uint8*>(screen->pixels) + y * screen->pitch);
        for (int x = 0; x < screenWidth; ++x) {
            Uint8 r, g, b;
            SDL_GetRGB(row[x], screen->format, &r, &g, &b);
            picture.rgb.insert(picture.rgb.end(), {r, g, b});
        }
    }
    return picture;
}

// The square of the 640 x 480 picture the icons show: the "3D" of the lettering on the far wall
// (columns 104 to 175, rows 405 to 455) with grey wall around it, clear of the lines of letters above
// (down to row 383) and below (from row 467); it still reads at 16 pixels.
struct Square {
    int x, y, side;
};
constexpr Square iconSquare{99, 384, 82};

// Scales the square to size x size by area averaging: every output pixel is the mean of the source
// area it covers, counting partly covered source pixels by the part covered. Enlarging gives whole
// blocks of source pixels, with one blended row or column where a block boundary falls inside one.
Picture scaleSquare(const Picture& source, Square square, int size) {
    // Source pixel k spans [k * size, (k + 1) * size) and output pixel i spans [i * side, (i + 1) * side),
    // both in units of 1 / size of a source pixel, so that every overlap is a whole number.
    auto weights = [&](int i) {
        std::vector<std::array<long, 2>> list;  // source offset, overlap
        long begin = long(i) * square.side, end = begin + square.side;
        for (long k = begin / size; k * size < end; ++k) {
            long overlap = std::min(end, (k + 1) * size) - std::max(begin, k * size);
            if (overlap > 0) list.push_back({k, overlap});
        }
        return list;
    };
    std::vector<std::vector<std::array<long, 2>>> spans;  // the same for rows and columns of a square
    for (int i = 0; i < size; ++i) spans.push_back(weights(i));
    Picture out{size, size, std::vector<std::uint8_t>(std::size_t(size) * size * 3)};
    const double area = double(square.side) * square.side;
    for (int j = 0; j < size; ++j) {
        const auto& rows = spans[j];
        for (int i = 0; i < size; ++i) {
            const auto& columns = spans[i];
            for (int c = 0; c < 3; ++c) {
                long sum = 0;
                for (auto [y, wy] : rows)
                    for (auto [x, wx] : columns) {
                        std::size_t at = (std::size_t(square.y + y) * source.width + square.x + x) * 3 + c;
                        sum += wy * wx * source.rgb[at];
                    }
                out.rgb[(std::size_t(j) * size + i) * 3 + c] = std::uint8_t(sum / area + 0.5);
            }
        }
    }
    return out;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t length, std::uint32_t crc = 0) {
    static std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    putBig32(out, std::uint32_t(data.size()));
    std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBig32(out, crc32(out.data() + start, out.size() - start));
}

// An 8-bit RGB PNG. The image data is a zlib stream of stored (uncompressed) blocks: the icons are
// small, and the tool needs no compression library.
std::vector<std::uint8_t> encodePng(const Picture& picture) {
    std::vector<std::uint8_t> raw;  // each row led by filter type 0 (none)
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back(0);
        auto row = picture.rgb.begin() + std::ptrdiff_t(y) * picture.width * 3;
        raw.insert(raw.end(), row, row + picture.width * 3);
    }
    std::vector<std::uint8_t> zlib{0x78, 0x01};
    std::size_t done = 0;
    do {
        std::size_t length = std::min<std::size_t>(raw.size() - done, 65535);
        bool last = done + length == raw.size();
        zlib.insert(zlib.end(), {std::uint8_t(last), std::uint8_t(length), std::uint8_t(length >> 8),
                                 std::uint8_t(~length), std::uint8_t(~length >> 8)});
        zlib.insert(zlib.end(), raw.begin() + std::ptrdiff_t(done), raw.begin() + std::ptrdiff_t(done + length));
        done += length;
    } while (done < raw.size());
    std::uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed data
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(zlib, b << 16 | a);

    std::vector<std::uint8_t> header;
    putBig32(header, std::uint32_t(picture.width));
    putBig32(header, std::uint32_t(picture.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits a sample, RGB, deflate, no filter choice, no interlace
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", {});
    return png;
}

bool writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    Picture picture = renderStartPicture();
    for (int a = 2; a < argc; ++a) {
        int size = std::atoi(argv[a]);
        if (size < 1 || size > 1024) {
            std::fprintf(stderr, "%s: icon size %s is not between 1 and 1024\n", argv[0], argv[a]);
            return 2;
        }
        std::string name = std::to_string(size) + "x" + std::to_string(size);
        std::filesystem::path dir = std::filesystem::path(argv[1]) / name / "apps";
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        if (error || !writeFile(dir / "cellvane.png", encodePng(scaleSquare(picture, iconSquare, size)))) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], (dir / "cellvane.png").string().c_str());
            return 1;
        }
    }
    return 0;
}
