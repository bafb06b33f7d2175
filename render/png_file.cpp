#include "render/png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace tillvane::render {
namespace {

struct PngError {
  std::string* text;
};

void OnError(png_structp png, png_const_charp message) {
  auto* e = static_cast<PngError*>(png_get_error_ptr(png));
  if (e && e->text) *e->text = message;
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePngRows(std::FILE* out, int width, int height,
                  const std::function<const uint8_t*(int y)>& row, std::string* error) {
  if (width <= 0 || height <= 0) {
    if (error) *error = "an empty picture has no PNG";
    return false;
  }
  PngError e{error};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &e, OnError, OnWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, out);
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);  // a long roll is one tall picture
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 1,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_invert_mono(png);  // a set bit is a black dot; grey 0 is black
  for (int y = 0; y < height; ++y) png_write_row(png, const_cast<png_bytep>(row(y)));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(out) != 0 || std::ferror(out)) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  return true;
}

bool WritePng(const std::filesystem::path& path, const Bitmap& dots, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = path.string() + ": " + std::strerror(errno);
    return false;
  }
  std::string why;
  bool ok = WritePngRows(
      f, dots.width(), dots.height(), [&dots](int y) { return dots.Row(y); }, &why);
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok && error) *error = path.string() + ": " + why;
  return ok;
}

std::optional<Bitmap> ReadPng(const std::filesystem::path& path, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    if (error) *error = path.string() + ": " + image.message;
    return std::nullopt;
  }
  image.format = PNG_FORMAT_GRAY;
  std::vector<uint8_t> gray(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, gray.data(), 0, nullptr)) {
    if (error) *error = path.string() + ": " + image.message;
    png_image_free(&image);
    return std::nullopt;
  }
  Bitmap out(static_cast<int>(image.width), static_cast<int>(image.height));
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x)
      if (gray[static_cast<size_t>(y) * image.width + x] < 128) out.Set(x, y);
  return out;
}

}  // namespace tillvane::render
