// Pages as PNG files: one bit per dot, black dots on white.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "render/page.h"

namespace tillvane::render {

// Writes `height` rows of `width` dots to `out`; `row(y)` gives row y packed as in
// Bitmap (8 dots a byte, top bit leftmost, 1 a dot). False and `error` on failure.
bool WritePngRows(std::FILE* out, int width, int height,
                  const std::function<const uint8_t*(int y)>& row, std::string* error);
bool WritePng(const std::filesystem::path& path, const Bitmap& dots, std::string* error);

// Reads a PNG of any colour type; a pixel darker than middle grey is a dot.
std::optional<Bitmap> ReadPng(const std::filesystem::path& path, std::string* error);

}  // namespace tillvane::render
