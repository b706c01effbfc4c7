#include "window_image.h"

#include <cstdio>
#include <cstring>

namespace window_image {

// ---- capture ----------------------------------------------------------------

// Captures the window into a 32-bit top-down DIB, either by asking the window
// to draw itself (print) or by copying what the screen shows (screen), then
// converts it to RGB.
bool capture(HWND hwnd, const std::string& method, Image& img, std::string& error) {
    RECT r;
    if (!GetWindowRect(hwnd, &r)) {
        error = "cannot read the window's rectangle";
        return false;
    }
    if (method == "screen") {
        // Only the part on the screen can be copied from it.
        RECT screen;
        screen.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        screen.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
        RECT visible;
        if (!IntersectRect(&visible, &r, &screen)) {
            error = "the window is off the screen";
            return false;
        }
        r = visible;
    }
    return capture_rect(r, method == "print" ? hwnd : nullptr, img, error);
}

bool capture_rect(const RECT& r, HWND print_hwnd, Image& img, std::string& error) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        error = "the window has no area";
        return false;
    }

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;

    HDC screen_dc = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen_dc);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen_dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = mem && dib && bits;
    if (ok) {
        HGDIOBJ old = SelectObject(mem, dib);
        if (print_hwnd) {
            ok = PrintWindow(print_hwnd, mem, PW_RENDERFULLCONTENT) != 0;
            if (!ok) error = "PrintWindow failed";
        } else {
            ok = BitBlt(mem, 0, 0, w, h, screen_dc, r.left, r.top, SRCCOPY | CAPTUREBLT) != 0;
            if (!ok) error = "BitBlt from the screen failed";
        }
        GdiFlush();
        if (ok) {
            img.width = w;
            img.height = h;
            img.rgb.resize(static_cast<std::size_t>(w) * h * 3);
            const auto* src = static_cast<const std::uint8_t*>(bits);
            std::uint8_t* dst = img.rgb.data();
            for (std::size_t i = 0, n = static_cast<std::size_t>(w) * h; i < n; ++i) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                src += 4;
                dst += 3;
            }
        }
        SelectObject(mem, old);
    } else {
        error = "cannot create a bitmap for the capture";
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
    ReleaseDC(nullptr, screen_dc);
    return ok;
}

// ---- PNG --------------------------------------------------------------------

namespace {

std::uint32_t crc32_update(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    crc = ~crc;
    while (n--)
        crc = table[(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void put_be32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x >> 24));
    v.push_back(static_cast<std::uint8_t>(x >> 16));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
    v.push_back(static_cast<std::uint8_t>(x));
}

void put_chunk(std::vector<std::uint8_t>& png, const char type[4],
               const std::vector<std::uint8_t>& data) {
    put_be32(png, static_cast<std::uint32_t>(data.size()));
    std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put_be32(png, crc32_update(0, png.data() + start, png.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks: no compressor to get
// wrong, and screenshots are small enough that the size does not matter.
std::vector<std::uint8_t> zlib_stored(const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> z;
    z.push_back(0x78); // deflate, 32 KB window
    z.push_back(0x01); // no dictionary, fastest; makes the header a multiple of 31
    std::size_t pos = 0;
    do {
        std::size_t len = raw.size() - pos;
        if (len > 65535) len = 65535;
        bool last = pos + len == raw.size();
        z.push_back(last ? 1 : 0); // BFINAL, BTYPE 00; the rest of the byte is padding
        z.push_back(static_cast<std::uint8_t>(len));
        z.push_back(static_cast<std::uint8_t>(len >> 8));
        z.push_back(static_cast<std::uint8_t>(~len));
        z.push_back(static_cast<std::uint8_t>(~len >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + len));
        pos += len;
    } while (pos < raw.size());

    // Adler-32; 5552 bytes is the most that can be summed before the 32-bit
    // sums must be reduced.
    std::uint32_t a = 1, b = 0;
    for (std::size_t i = 0; i < raw.size();) {
        std::size_t end = i + 5552 < raw.size() ? i + 5552 : raw.size();
        for (; i < end; ++i) {
            a += raw[i];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    put_be32(z, (b << 16) | a);
    return z;
}

} // namespace

std::vector<std::uint8_t> encode_png(const Image& img) {
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> png(signature, signature + 8);

    std::vector<std::uint8_t> ihdr;
    put_be32(ihdr, static_cast<std::uint32_t>(img.width));
    put_be32(ihdr, static_cast<std::uint32_t>(img.height));
    ihdr.push_back(8); // bits per sample
    ihdr.push_back(2); // colour type: RGB
    ihdr.push_back(0); // compression: deflate
    ihdr.push_back(0); // filter method: adaptive
    ihdr.push_back(0); // no interlace
    put_chunk(png, "IHDR", ihdr);

    std::size_t row = static_cast<std::size_t>(img.width) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve((row + 1) * img.height);
    for (int y = 0; y < img.height; ++y) {
        raw.push_back(0); // filter: none
        const std::uint8_t* p = img.rgb.data() + row * y;
        raw.insert(raw.end(), p, p + row);
    }
    put_chunk(png, "IDAT", zlib_stored(raw));
    put_chunk(png, "IEND", {});
    return png;
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::remove(path.c_str());
    return ok;
}

} // namespace window_image
