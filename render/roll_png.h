// The whole roll of paper as one PNG, as tillvane-render and the printer server keep it.
// Pages are added as they come out and held as packed rows in a temporary file, so that
// memory stays bounded however long the paper grows; the PNG is written at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "render/page.h"

namespace tillvane::render {

class RollPng {
 public:
  static constexpr int64_t kMaxRows = 0x7FFFFFFF;

  explicit RollPng(int dots);
  ~RollPng();
  RollPng(const RollPng&) = delete;
  RollPng& operator=(const RollPng&) = delete;

  // False when the temporary file could not be made or written; `error` says why.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // Appends the rows of a page (its width must be the roll's).
  void Add(const Bitmap& page);
  int64_t rows() const { return rows_; }
  bool too_long() const { return rows_ > kMaxRows; }

  // Writes the roll to `out`; false and `error` on failure. Needs ok(), !too_long() and
  // at least one row.
  bool Write(std::FILE* out, std::string* error);

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const {
      if (f) std::fclose(f);
    }
  };
  int dots_;
  std::unique_ptr<std::FILE, FileCloser> rows_file_;
  int64_t rows_ = 0;
  std::string error_;
};

}  // namespace tillvane::render
