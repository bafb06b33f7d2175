// Monochrome BMP files downloaded into the printer as logos.
#pragma once

#include <cstdint>

#include "protocol/limits.h"

namespace tillvane {

// Sends SelectRamLogo(n), then DefineRamLogoSize(S, B) and the column image of the
// BMP file at `path`. 0 on success, the failing send's result or -1.
[[nodiscard]] int32_t DownloadRamLogo(const char* path, uint8_t n);

// Sends the size header [xL xH yL yH] and the column image of one flash logo; the
// caller has sent DefineFlashLogos(1) before. 0 on success, -1 on failure.
[[nodiscard]] int32_t SendFlashLogoImage(const char* path);

// The information header as the conversion reads it (W at offset 18, H at 22 of the
// file).
struct BitmapInfo {
  int32_t width = 0;
  int32_t height = 0;
};

// Header layout of the accepted files: pixel rows always start here.
inline constexpr int32_t kBitmapHeaderSize = 62;
// RAM logo limits: stride S (bytes per row), bands B (8-dot rows) and S * B.
inline constexpr int64_t kRamLogoMaxStride = protocol::kRamLogoMaxX;
inline constexpr int64_t kRamLogoMaxBands = protocol::kRamLogoMaxY;
inline constexpr int64_t kRamLogoMaxStrideBands = protocol::kRamLogoMaxXY;
// Largest column image either download builds; larger pictures are refused before any
// image byte is sent.
inline constexpr int64_t kMaxLogoImageBytes = int64_t{64} << 20;

int32_t PrepareBitmapRows(const uint8_t* src, const BitmapInfo* info, int32_t width_bits,
                          int32_t padded_height, uint8_t* dst);
int32_t RotateBitmapToColumns(const uint8_t* src, int32_t width_bits, int32_t padded_height,
                              uint8_t* dst);

}  // namespace tillvane
