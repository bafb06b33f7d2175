#include "render/logo_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

namespace tillvane::render {
namespace {

// File layout: "TVFLASH1", a 16-bit count, then per logo 16-bit x (bytes), 16-bit y
// (bands) and x * y * 8 bytes of column image; integers little-endian.
constexpr char kMagic[8] = {'T', 'V', 'F', 'L', 'A', 'S', 'H', '1'};

}  // namespace

void PutU16(std::string& out, unsigned v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

bool WriteStoreFile(const std::filesystem::path& path, const std::string& bytes,
                    std::string* error) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  const std::filesystem::path tmp = path.string() + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f || !f.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !f.flush()) {
      if (error) *error = tmp.string() + ": " + std::strerror(errno);
      return false;
    }
  }
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    if (error) *error = path.string() + ": " + ec.message();
    std::filesystem::remove(tmp, ec);
    return false;
  }
  return true;
}

std::filesystem::path UserDataFile(const char* name) {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return base / "tillvane" / name;
}

std::filesystem::path DefaultFlashStorePath() {
  return UserDataFile("flash-logos.bin");
}

std::optional<std::vector<ColumnImage>> LoadFlashLogos(const std::filesystem::path& path,
                                                       std::string* error) {
  std::vector<ColumnImage> logos;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return logos;
  std::ifstream in(path, std::ios::binary);
  auto fail = [&](const std::string& why) -> std::optional<std::vector<ColumnImage>> {
    if (error) *error = path.string() + ": " + why;
    return std::nullopt;
  };
  if (!in) return fail(std::strerror(errno));
  char magic[8];
  uint8_t count[2];
  if (!in.read(magic, 8) || std::memcmp(magic, kMagic, 8) != 0)
    return fail("not a flash logo store");
  if (!in.read(reinterpret_cast<char*>(count), 2)) return fail("cut short");
  const unsigned n = count[0] | (count[1] << 8);
  size_t total = 0;
  for (unsigned i = 0; i < n; ++i) {
    uint8_t h[4];
    if (!in.read(reinterpret_cast<char*>(h), 4)) return fail("cut short");
    const int x = h[0] | (h[1] << 8), y = h[2] | (h[3] << 8);
    // 0 x 0 keeps the number of an image the printer refused.
    const bool placeholder = x == 0 && y == 0;
    if (!placeholder && (x < 1 || x > kFlashMaxX || y < 1 || y > kFlashMaxY))
      return fail("logo size out of range");
    const size_t size = static_cast<size_t>(x) * y * 8;
    total += size;
    if (total > kFlashCapacity) return fail("more than the flash holds");
    ColumnImage logo;
    logo.columns = x * 8;
    logo.bands = y;
    logo.data.resize(size);
    if (!in.read(reinterpret_cast<char*>(logo.data.data()), static_cast<std::streamsize>(size)))
      return fail("cut short");
    logos.push_back(std::move(logo));
  }
  return logos;
}

bool SaveFlashLogos(const std::filesystem::path& path, const std::vector<ColumnImage>& logos,
                    std::string* error) {
  std::string out(kMagic, 8);
  PutU16(out, static_cast<unsigned>(logos.size()));
  for (const ColumnImage& l : logos) {
    PutU16(out, static_cast<unsigned>(l.columns / 8));
    PutU16(out, static_cast<unsigned>(l.bands));
    out.append(reinterpret_cast<const char*>(l.data.data()), l.data.size());
  }
  return WriteStoreFile(path, out, error);
}

}  // namespace tillvane::render
