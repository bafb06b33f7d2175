#include "render/virtual_printer.h"

#include <algorithm>

namespace tillvane::render {
namespace {

constexpr size_t kSlice = 4096;

}  // namespace

VirtualPrinter::VirtualPrinter(PrinterOptions options, size_t kept_rows) : kept_rows_(kept_rows) {
  printer_ =
      std::make_unique<Printer>(std::move(options), [this](Page&& page) { Keep(std::move(page)); });
}

VirtualPrinter::~VirtualPrinter() = default;

void VirtualPrinter::Keep(Page&& page) {
  // Runs inside Write or Finish, under mutex_.
  auto shared = std::make_shared<const Page>(std::move(page));
  rows_ += static_cast<size_t>(shared->dots.height());
  pages_.push_back(shared);
  while (rows_ > kept_rows_ && pages_.size() > 1) {
    rows_ -= static_cast<size_t>(pages_.front()->dots.height());
    pages_.erase(pages_.begin());
    ++dropped_;
  }
  announced_.push_back(std::move(shared));
}

void VirtualPrinter::Write(const uint8_t* bytes, size_t size) {
  size_t done = 0;
  while (done < size || (size == 0 && done == 0)) {
    const size_t n = std::min(kSlice, size - done);
    std::vector<std::shared_ptr<const Page>> out;
    {
      std::lock_guard lock(mutex_);
      printer_->SetStatus(status());
      printer_->Feed(bytes + done, n);
      out.swap(announced_);
      ++version_;
    }
    done += n;
    if (!out.empty()) {
      std::lock_guard lock(listener_mutex_);
      if (listener_)
        for (const auto& p : out) listener_(p);
    }
    if (size == 0) break;
  }
}

size_t VirtualPrinter::ReadReplies(uint8_t* out, size_t max) {
  std::lock_guard lock(mutex_);
  return printer_->ReadReplies(out, max);
}

void VirtualPrinter::Finish() {
  std::vector<std::shared_ptr<const Page>> out;
  {
    std::lock_guard lock(mutex_);
    printer_->Finish();
    out.swap(announced_);
    ++version_;
  }
  std::lock_guard lock(listener_mutex_);
  if (listener_)
    for (const auto& p : out) listener_(p);
}

void VirtualPrinter::SetStatus(const PrinterStatus& status) {
  {
    std::lock_guard lock(status_mutex_);
    status_ = status;
  }
  ++version_;
}

PrinterStatus VirtualPrinter::status() const {
  std::lock_guard lock(status_mutex_);
  return status_;
}

VirtualPrinter::Snapshot VirtualPrinter::Take() const {
  std::lock_guard lock(mutex_);
  Snapshot s;
  s.pages = pages_;
  s.current = printer_->CurrentPage();
  s.report = printer_->report();
  s.version = version_.load();
  s.dropped_pages = dropped_;
  return s;
}

void VirtualPrinter::ClearPaper() {
  std::lock_guard lock(mutex_);
  pages_.clear();
  printer_->DiscardPaper();
  rows_ = 0;
  ++version_;
}

void VirtualPrinter::SetProfile(Profile profile) {
  std::lock_guard lock(mutex_);
  printer_->SetProfile(profile);
  ++version_;
}

Profile VirtualPrinter::profile() const {
  std::lock_guard lock(mutex_);
  return printer_->profile();
}

void VirtualPrinter::SetPageListener(PageListener listener) {
  std::lock_guard lock(listener_mutex_);
  listener_ = std::move(listener);
}

}  // namespace tillvane::render
