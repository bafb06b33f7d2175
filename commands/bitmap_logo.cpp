#include "commands/bitmap_logo.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "commands/posfun.h"
#include "link/link_state.h"
#include "link/send_data.h"

namespace tillvane {
namespace {

constexpr uint8_t kLastByteMask[8] = {0xFF, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};

uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Keeps the parallel link's long wait for the whole download and puts the normal one
// back however the download ends.
class DownloadBusyTimeout {
 public:
  DownloadBusyTimeout() { Links().BusyTimeout = kBusyTimeoutDownload; }
  ~DownloadBusyTimeout() { Links().BusyTimeout = kBusyTimeoutNormal; }
  DownloadBusyTimeout(const DownloadBusyTimeout&) = delete;
  DownloadBusyTimeout& operator=(const DownloadBusyTimeout&) = delete;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class Destination { kRam, kFlash };

// The converted logo: stride S, bands B and the column image of S * 8 * B bytes.
struct ColumnImage {
  int64_t stride = 0;
  int64_t bands = 0;
  std::vector<uint8_t> bytes;
};

// Steps 3 to 9 of a download: open, check, read and convert. False when the file
// cannot be opened, is not a monochrome bitmap of a usable size, or (RAM) exceeds the
// printer's logo limits; the file is closed on every path.
bool ReadColumnImage(const char* path, Destination dest, ColumnImage& out) {
  if (path == nullptr) return false;
  File file(std::fopen(path, "rb"));
  if (!file) return false;

  uint8_t header[kBitmapHeaderSize] = {};
  size_t got = std::fread(header, 1, sizeof header, file.get());
  (void)got;  // a short file leaves the rest of the header zero
  if (ReadU16(header) != 0x4D42) return false;
  if (ReadU16(header + 28) != 1) return false;

  BitmapInfo info;
  info.width = static_cast<int32_t>(ReadU32(header + 18));
  info.height = static_cast<int32_t>(ReadU32(header + 22));
  // Empty pictures and top-down bitmaps (negative height) are not logos.
  if (info.width <= 0 || info.height <= 0) return false;

  const int64_t stride = ((int64_t{info.width} + 31) / 32) * 4;
  const int64_t bands = (int64_t{info.height} + 7) / 8;
  if (dest == Destination::kRam) {
    if (stride > kRamLogoMaxStride) return false;
    if (bands > kRamLogoMaxBands) return false;
    if (stride * bands > kRamLogoMaxStrideBands) return false;
  } else if (stride > 0xFFFF || bands > 0xFFFF) {
    return false;  // the flash size header holds 16 bits each
  }
  const int64_t image_bytes = stride * 8 * bands;
  if (image_bytes > kMaxLogoImageBytes) return false;

  std::vector<uint8_t> rows;
  try {
    rows.assign(static_cast<size_t>(image_bytes) + 1, 0);
    out.bytes.assign(static_cast<size_t>(image_bytes) + 1, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Never more pixel bytes than the buffer holds; what the file does not deliver stays
  // zero.
  size_t want = ReadU32(header + 34);
  if (want > static_cast<size_t>(image_bytes)) want = static_cast<size_t>(image_bytes);
  if (want > 0 && std::fseek(file.get(), kBitmapHeaderSize, SEEK_SET) == 0) {
    got = std::fread(rows.data(), 1, want, file.get());
  }
  file.reset();

  const auto width_bits = static_cast<int32_t>(stride * 8);
  const auto padded_height = static_cast<int32_t>(bands * 8);
  if (PrepareBitmapRows(rows.data(), &info, width_bits, padded_height, rows.data()) != 0) {
    return false;
  }
  if (RotateBitmapToColumns(rows.data(), width_bits, padded_height, out.bytes.data()) != 0) {
    return false;
  }
  out.bytes.resize(static_cast<size_t>(image_bytes));
  out.stride = stride;
  out.bands = bands;
  return true;
}

int32_t Send(const uint8_t* bytes, size_t length) {
  return SendData(bytes, static_cast<int32_t>(length));
}

}  // namespace

int32_t DownloadRamLogo(const char* path, uint8_t n) {
  if (int32_t r = SelectRamLogo(n); r != 0) return r;

  DownloadBusyTimeout busy;
  ColumnImage image;
  if (!ReadColumnImage(path, Destination::kRam, image)) return -1;
  const int32_t header_result =
      DefineRamLogoSize(static_cast<uint8_t>(image.stride), static_cast<uint8_t>(image.bands));
  const int32_t image_result = Send(image.bytes.data(), image.bytes.size());
  return header_result != 0 ? header_result : image_result;
}

int32_t SendFlashLogoImage(const char* path) {
  DownloadBusyTimeout busy;
  ColumnImage image;
  if (!ReadColumnImage(path, Destination::kFlash, image)) return -1;
  const uint8_t size_header[4] = {
      static_cast<uint8_t>(image.stride % 256), static_cast<uint8_t>(image.stride / 256),
      static_cast<uint8_t>(image.bands % 256), static_cast<uint8_t>(image.bands / 256)};
  const int32_t header_result = Send(size_header, sizeof size_header);
  const int32_t image_result = Send(image.bytes.data(), image.bytes.size());
  return (header_result != 0 || image_result != 0) ? -1 : 0;
}

int32_t PrepareBitmapRows(const uint8_t* src, const BitmapInfo* info, int32_t width_bits,
                          int32_t padded_height, uint8_t* dst) {
  if (src == nullptr || info == nullptr || dst == nullptr) return -1;
  if (width_bits <= 0 || padded_height <= 0 || width_bits % 8 != 0 || padded_height % 8 != 0) {
    return -1;
  }
  const int64_t width = info->width;
  const int64_t height = info->height;
  const int64_t stride = width_bits / 8;
  const int64_t data_bytes = (width + 7) / 8;
  // The picture must lie inside the buffers the caller sized from it.
  if (width <= 0 || height <= 0 || data_bytes > stride || height > padded_height) return -1;

  const uint8_t mask = kLastByteMask[width % 8];
  for (int64_t r = 0; r < height; ++r) {
    const uint8_t* in = src + r * stride;
    uint8_t* row = dst + r * stride;
    for (int64_t i = 0; i < data_bytes; ++i) row[i] = static_cast<uint8_t>(~in[i]);
    for (int64_t i = data_bytes; i < stride; ++i) row[i] = 0;
    row[data_bytes - 1] &= mask;
  }
  // The rows above the picture up to the next whole band stay blank.
  if (height % 8 != 0) {
    const int64_t end = height + 8 - height % 8;
    std::memset(dst + height * stride, 0, static_cast<size_t>((end - height) * stride));
  }
  return 0;
}

int32_t RotateBitmapToColumns(const uint8_t* src, int32_t width_bits, int32_t padded_height,
                              uint8_t* dst) {
  if (src == nullptr || dst == nullptr) return -1;
  if (width_bits <= 0 || padded_height <= 0 || width_bits % 8 != 0 || padded_height % 8 != 0) {
    return -1;
  }
  const int64_t stride = width_bits / 8;
  const int64_t bands = padded_height / 8;
  for (int64_t j = 0; j < bands; ++j) {
    // Row of bit k (k = 0 the top dot) of band j, counted in the bottom-up buffer.
    const uint8_t* band_rows[8];
    for (int64_t k = 0; k < 8; ++k) band_rows[k] = src + (padded_height - 1 - 8 * j - k) * stride;
    for (int64_t x = 0; x < stride; ++x) {
      uint8_t b[8];
      for (int k = 0; k < 8; ++k) b[k] = band_rows[k][x];
      for (int i = 0; i < 8; ++i) {
        uint8_t column = 0;
        for (int k = 0; k < 8; ++k) {
          column = static_cast<uint8_t>(column | (((b[k] >> (7 - i)) & 1) << (7 - k)));
        }
        dst[(x * 8 + i) * bands + j] = column;
      }
    }
  }
  return 0;
}

}  // namespace tillvane
