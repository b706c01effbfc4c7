// Pictures of windows for the tools that document zarvo under Wine: a
// window's rectangle captured as RGB and written as a PNG (stored deflate
// blocks, so no compressor is needed).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace window_image {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // rows top to bottom, 3 bytes a pixel
};

// method "screen" copies what the screen shows; "print" asks the window to
// draw itself (PrintWindow).
bool capture(HWND hwnd, const std::string& method, Image& img, std::string& error);
// A rectangle of the screen, or with print_hwnd that window drawing itself
// into a bitmap of the rectangle's size.
bool capture_rect(const RECT& r, HWND print_hwnd, Image& img, std::string& error);
std::vector<std::uint8_t> encode_png(const Image& img);
bool write_file(const std::string& path, const std::vector<std::uint8_t>& data);

} // namespace window_image
