// The virtual printer shared between threads: a job thread writes bytes and reads the
// answers, a window sets the printer's state and watches the paper come out.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "render/printer.h"

namespace tillvane::render {

class VirtualPrinter {
 public:
  // Pages kept for the preview: the oldest go when the pages kept hold more rows.
  static constexpr size_t kKeptRows = 400000;

  struct Snapshot {
    std::vector<std::shared_ptr<const Page>> pages;  // oldest first
    Bitmap current;                                  // paper fed since the last page went out
    Report report;
    uint64_t version = 0;
    uint64_t dropped_pages = 0;  // pages let go to keep kKeptRows
  };
  using PageListener = std::function<void(const std::shared_ptr<const Page>&)>;

  explicit VirtualPrinter(PrinterOptions options = {}, size_t kept_rows = kKeptRows);
  ~VirtualPrinter();

  // Feeding thread. The bytes are interpreted in slices, so that the window's calls
  // below wait at most for one slice.
  void Write(const uint8_t* bytes, size_t size);
  size_t ReadReplies(uint8_t* out, size_t max);
  // End of a job's input: the paper fed so far goes out as a page.
  void Finish();

  // Any thread.
  void SetStatus(const PrinterStatus& status);
  PrinterStatus status() const;
  Snapshot Take() const;
  // Changes whenever anything a snapshot shows changes.
  uint64_t version() const { return version_.load(); }
  void ClearPaper();
  // Printer::SetProfile, between two slices of the feeding thread.
  void SetProfile(Profile profile);
  Profile profile() const;
  // Called on the feeding thread for each page that goes out, with no lock held.
  void SetPageListener(PageListener listener);

 private:
  void Keep(Page&& page);

  mutable std::mutex mutex_;
  std::unique_ptr<Printer> printer_;
  std::vector<std::shared_ptr<const Page>> pages_;
  std::vector<std::shared_ptr<const Page>> announced_;  // waiting for the listener
  size_t kept_rows_;
  size_t rows_ = 0;
  uint64_t dropped_ = 0;
  mutable std::mutex status_mutex_;
  PrinterStatus status_;
  std::mutex listener_mutex_;
  PageListener listener_;
  std::atomic<uint64_t> version_{0};
};

}  // namespace tillvane::render
