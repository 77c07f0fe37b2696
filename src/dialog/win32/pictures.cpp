#include "dialog/win32/pictures.h"

namespace orbisk::win32 {

namespace {

// A hand-held remote seen from the front, its emitter at the top, sending
// infra-red arcs towards the upper right; the same picture as on Linux.
struct Shape {
    RECT body;
    int corner;
    POINT emitter;
    int led;
};

constexpr COLORREF Body = RGB(0x38, 0x41, 0x51);
constexpr COLORREF Outline = RGB(0x1a, 0x1f, 0x28);
constexpr COLORREF Red = RGB(0xd9, 0x3a, 0x2b);
constexpr COLORREF Keys = RGB(0xc8, 0xcf, 0xd8);
constexpr COLORREF Blue = RGB(0x9f, 0xc4, 0xe8);

void Fill(HDC dc, COLORREF colour, COLORREF pen, int penWidth, void (*draw)(HDC, const void*), const void* what) {
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN line = CreatePen(PS_SOLID, penWidth, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, line);
    draw(dc, what);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(line);
}

void PaintRemote(HDC dc, const Shape& s, bool small, bool mask) {
    // On the mask every part of the remote is black: opaque.
    auto colour = [mask](COLORREF c) { return mask ? RGB(0, 0, 0) : c; };
    Fill(dc, colour(Body), colour(Outline), 1, [](HDC d, const void* p) {
        const Shape& sh = *static_cast<const Shape*>(p);
        RoundRect(d, sh.body.left, sh.body.top, sh.body.right, sh.body.bottom, sh.corner, sh.corner);
    }, &s);
    Fill(dc, colour(Red), colour(Red), 1, [](HDC d, const void* p) {
        const Shape& sh = *static_cast<const Shape*>(p);
        Ellipse(d, sh.emitter.x - sh.led, sh.emitter.y - sh.led, sh.emitter.x + sh.led + 1, sh.emitter.y + sh.led + 1);
    }, &s);
    if (!small) {
        Fill(dc, colour(Blue), colour(Blue), 1, [](HDC d, const void* p) {
            const Shape& sh = *static_cast<const Shape*>(p);
            const int x = (sh.body.left + sh.body.right) / 2;
            Ellipse(d, x - 3, sh.body.top + 9, x + 4, sh.body.top + 16);
        }, &s);
        Fill(dc, colour(Keys), colour(Keys), 1, [](HDC d, const void* p) {
            const Shape& sh = *static_cast<const Shape*>(p);
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 3; ++column) {
                    const int left = sh.body.left + 3 + column * 5;
                    const int top = sh.body.top + 18 + row * 3;
                    Rectangle(d, left, top, left + 3, top + 2);
                }
        }, &s);
    }
    // Infra-red arcs from the emitter, opening to the upper right.
    const int arcs = small ? 2 : 3;
    for (int i = 0; i < arcs; ++i) {
        const int radius = small ? 4 + i * 3 : 8 + i * 6;
        HPEN pen = CreatePen(PS_SOLID, small ? 1 : 2, colour(Red));
        HGDIOBJ old = SelectObject(dc, pen);
        const int x = s.emitter.x, y = s.emitter.y;
        // From 80 degrees down to 10 degrees, counter-clockwise drawing order.
        Arc(dc, x - radius, y - radius, x + radius, y + radius, x + radius, y - radius / 6, x + radius / 6,
            y - radius);
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

HBITMAP MakeSection(int width, int height, int bits, const RGBQUAD* palette, int colours) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[16];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = static_cast<DWORD>(colours);
    for (int i = 0; i < colours; ++i) info.colours[i] = palette[i];
    void* pixels = nullptr;
    return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
}

void Clear(HDC dc, int width, int height, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
}

}  // namespace

HBITMAP DrawLogo() {
    HBITMAP logo = MakeSection(49, 49, 16, nullptr, 0);
    if (logo == nullptr) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, logo);
    Clear(dc, 49, 49, RGB(255, 255, 255));
    PaintRemote(dc, Shape{{10, 17, 29, 47}, 9, {19, 21}, 2}, false, false);
    SelectObject(dc, old);
    DeleteDC(dc);
    return logo;
}

HICON DrawWindowIcon() {
    // The sixteen colours of the classic palette.
    static const RGBQUAD palette[16] = {
        {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},
        {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0},
        {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},     {0, 255, 255, 0},
        {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0}};
    const Shape shape{{2, 5, 10, 16}, 3, {6, 7}, 1};
    HBITMAP colour = MakeSection(16, 16, 4, palette, 16);
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
    HICON icon = nullptr;
    if (colour != nullptr && mask != nullptr) {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, colour);
        Clear(dc, 16, 16, RGB(0, 0, 0));
        PaintRemote(dc, shape, true, false);
        SelectObject(dc, mask);
        Clear(dc, 16, 16, RGB(255, 255, 255));
        PaintRemote(dc, shape, true, true);
        SelectObject(dc, old);
        DeleteDC(dc);
        ICONINFO info{TRUE, 0, 0, mask, colour};
        icon = CreateIconIndirect(&info);
    }
    if (colour != nullptr) DeleteObject(colour);
    if (mask != nullptr) DeleteObject(mask);
    return icon;
}

}  // namespace orbisk::win32
