#include "app/index_picture.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <memory>

namespace tillvane {
namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

// libjpeg's default handler ends the process; ours returns to the decoder's caller.
[[noreturn]] void ErrorExit(j_common_ptr info) {
  auto* err = reinterpret_cast<JpegError*>(info->err);
  std::longjmp(err->jump, 1);
}

void SilentMessage(j_common_ptr) {}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Everything that must survive a longjmp lives outside the function that calls setjmp.
struct Decoder {
  jpeg_decompress_struct info{};
  JpegError err{};
  QImage image;
};

bool Decode(Decoder& d) {
  if (setjmp(d.err.jump)) return false;
  jpeg_read_header(&d.info, TRUE);
  d.info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.info);
  const int width = static_cast<int>(d.info.output_width);
  const int height = static_cast<int>(d.info.output_height);
  if (d.info.output_components != 3 || width <= 0 || height <= 0 || width > 16384 || height > 16384)
    return false;
  d.image = QImage(width, height, QImage::Format_RGB888);
  if (d.image.isNull()) return false;
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW line = d.image.scanLine(static_cast<int>(d.info.output_scanline));
    jpeg_read_scanlines(&d.info, &line, 1);
  }
  jpeg_finish_decompress(&d.info);
  // A truncated or damaged stream only raises warnings; it is not a picture either.
  return d.err.mgr.num_warnings == 0;
}

}  // namespace

QImage LoadJpegPicture(const QString& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.toLocal8Bit().constData(), "rb"));
  if (!file) return {};
  auto d = std::make_unique<Decoder>();
  d->info.err = jpeg_std_error(&d->err.mgr);
  d->err.mgr.error_exit = ErrorExit;
  d->err.mgr.output_message = SilentMessage;
  if (setjmp(d->err.jump)) {
    jpeg_destroy_decompress(&d->info);
    return {};
  }
  jpeg_create_decompress(&d->info);
  jpeg_stdio_src(&d->info, file.get());
  const bool ok = Decode(*d);
  jpeg_destroy_decompress(&d->info);
  if (!ok) return {};
  return d->image;
}

}  // namespace tillvane
