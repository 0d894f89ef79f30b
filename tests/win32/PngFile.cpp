#include "PngFile.h"

#include <stb_image_write.h>

namespace tpg::test {

bool writePng(const std::string& path, const RgbaImage& image) {
    constexpr int kChannels = 4;
    const auto expected =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * kChannels;
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != expected) {
        return false;
    }
    return stbi_write_png(path.c_str(), image.width, image.height, kChannels, image.pixels.data(),
                          image.width * kChannels) != 0;
}

}  // namespace tpg::test
