// Writing 32-bit RGBA pixels as a PNG file, with stb_image_write.
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

bool writePng(const std::string& path, const RgbaImage& image);

}  // namespace tpg::test
