// Writing 32-bit RGBA pixels as a PNG file (deflate's stored blocks: no
// compression library is needed, the picture stays exact).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tpg::test {

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // rows top to bottom, 4 bytes a pixel: R, G, B, A
};

std::vector<std::uint8_t> encodePng(const RgbaImage& image);
bool writePng(const std::string& path, const RgbaImage& image);

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t crc = 0);

}  // namespace tpg::test
