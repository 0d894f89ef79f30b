#include "Screenshot.h"

namespace tpg::test {

RgbaImage captureWindow(HWND hwnd) {
    RedrawWindow(hwnd, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();

    RECT rect{};
    GetWindowRect(hwnd, &rect);
    RgbaImage image;
    image.width = rect.right - rect.left;
    image.height = rect.bottom - rect.top;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;

    HDC windowDc = GetWindowDC(hwnd);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, image.width, image.height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();

    // The DIB holds B, G, R and an undefined fourth byte: make it R, G, B, opaque.
    const auto* bgrx = static_cast<const std::uint8_t*>(bits);
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    image.pixels.resize(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        image.pixels[i * 4 + 0] = bgrx[i * 4 + 2];
        image.pixels[i * 4 + 1] = bgrx[i * 4 + 1];
        image.pixels[i * 4 + 2] = bgrx[i * 4 + 0];
        image.pixels[i * 4 + 3] = 0xFF;
    }

    SelectObject(memoryDc, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(hwnd, windowDc);
    return image;
}

}  // namespace tpg::test
