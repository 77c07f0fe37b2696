#pragma once
// A picture of part of the Windows screen, written as a PNG file: enough for
// the README's picture of the native dialog without an image library.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orbisk::test {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
};

inline Picture CaptureScreen(const RECT& area) {
    Picture picture{area.right - area.left, area.bottom - area.top, {}};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.width, -picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, picture.width, picture.height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (int i = 0; i < picture.width * picture.height; ++i)
        picture.rgb.insert(picture.rgb.end(), {bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]});
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

// Uncompressed deflate blocks inside a zlib stream: valid PNG, no zlib.
inline bool WritePng(const std::string& path, const Picture& picture) {
    auto crc = [](const std::string& data) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (unsigned char byte : data) {
            c ^= byte;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return ~c;
    };
    auto be32 = [](std::uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    auto chunk = [&](const std::string& type, const std::string& data) {
        return be32(static_cast<std::uint32_t>(data.size())) + type + data + be32(crc(type + data));
    };
    std::string raw;
    const std::size_t stride = static_cast<std::size_t>(picture.width) * 3;
    for (int y = 0; y < picture.height; ++y) {
        raw += '\0';  // no filter
        raw.append(reinterpret_cast<const char*>(picture.rgb.data()) + y * stride, stride);
    }
    std::string z = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
    for (std::size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z += char(at + n >= raw.size() ? 1 : 0);
        z += {char(n), char(n >> 8), char(~n), char(~n >> 8)};
        z.append(raw, at, n);
    }
    z += be32((b << 16) | a);
    const std::string header = be32(static_cast<std::uint32_t>(picture.width)) +
                               be32(static_cast<std::uint32_t>(picture.height)) + std::string("\x08\x02\0\0\0", 5);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", z) +
                            chunk("IEND", "");
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace orbisk::test
