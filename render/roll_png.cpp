#include "render/roll_png.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "render/png_file.h"

namespace tillvane::render {

RollPng::RollPng(int dots) : dots_(dots), rows_file_(std::tmpfile()) {
  if (!rows_file_) error_ = std::string("temporary file: ") + std::strerror(errno);
}

RollPng::~RollPng() = default;

void RollPng::Add(const Bitmap& page) {
  if (!ok()) return;
  if (page.width() != dots_) {
    error_ =
        "a page of " + std::to_string(page.width()) + " dots on a roll of " + std::to_string(dots_);
    return;
  }
  const auto& bits = page.bits();
  if (std::fwrite(bits.data(), 1, bits.size(), rows_file_.get()) != bits.size()) {
    error_ = std::string("temporary file: ") + std::strerror(errno);
    return;
  }
  rows_ += page.height();
}

bool RollPng::Write(std::FILE* out, std::string* error) {
  if (!ok() || too_long() || rows_ == 0) {
    *error = !ok() ? error_ : rows_ == 0 ? "no paper came out" : "the roll is too long for one PNG";
    return false;
  }
  std::rewind(rows_file_.get());
  const int stride = (dots_ + 7) / 8;
  std::vector<uint8_t> row(static_cast<size_t>(stride));
  bool read_ok = true;
  auto next_row = [&](int) -> const uint8_t* {
    if (std::fread(row.data(), 1, row.size(), rows_file_.get()) != row.size()) read_ok = false;
    return row.data();
  };
  const bool ok = WritePngRows(out, dots_, static_cast<int>(rows_), next_row, error);
  return ok && read_ok;
}

}  // namespace tillvane::render
