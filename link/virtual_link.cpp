#include "link/virtual_link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <system_error>

#include "link/link_state.h"
#include "render/graphics.h"
#include "render/logo_store.h"

namespace tillvane {

VirtualPrinterLink::VirtualPrinterLink(std::shared_ptr<render::VirtualPrinter> printer)
    : printer_(std::move(printer)),
      input_(kInputBuffer),
      answers_(kAnswerBuffer),
      reply_slice_(kAnswerBuffer) {
  thread_ = std::thread([this] { Run(); });
}

VirtualPrinterLink::~VirtualPrinterLink() {
  Close();
}

void VirtualPrinterLink::Close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  input_ready_.notify_all();
  space_ready_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void VirtualPrinterLink::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    input_ready_.wait(lock, [this] { return closing_ || count_ > 0; });
    if (!closing_ && count_ < kSlice) {
      input_ready_.wait_for(lock, std::chrono::milliseconds(kGatherMs),
                            [this] { return closing_ || count_ >= kSlice; });
    }
    if (closing_) return;
    // Writers fill only the free part of the ring, so the waiting bytes can be printed
    // in place while the lock is let go.
    const size_t n = std::min({count_, kSlice, kInputBuffer - head_});
    const uint8_t* slice = input_.data() + head_;
    printing_ = true;
    lock.unlock();
    printer_->Write(slice, n);
    const size_t answered = printer_->ReadReplies(reply_slice_.data(), reply_slice_.size());
    lock.lock();
    head_ = (head_ + n) % kInputBuffer;
    count_ -= n;
    printing_ = false;
    for (size_t i = 0; i < answered; ++i) {
      if (answer_count_ == kAnswerBuffer) {
        answer_head_ = (answer_head_ + 1) % kAnswerBuffer;
        --answer_count_;
      }
      answers_[(answer_head_ + answer_count_) % kAnswerBuffer] = reply_slice_[i];
      ++answer_count_;
    }
    space_ready_.notify_all();
  }
}

int32_t VirtualPrinterLink::Write(const uint8_t* bytes, int32_t length) {
  if (length <= 0) return 0;
  std::unique_lock lock(mutex_);
  size_t done = 0;
  const size_t total = static_cast<size_t>(length);
  while (done < total) {
    if (count_ == kInputBuffer)
      space_ready_.wait(lock, [this] { return closing_ || count_ < kInputBuffer; });
    if (closing_) break;
    const size_t tail = (head_ + count_) % kInputBuffer;
    const size_t n = std::min({total - done, kInputBuffer - count_, kInputBuffer - tail});
    std::memcpy(input_.data() + tail, bytes + done, n);
    const bool was_empty = count_ == 0;
    count_ += n;
    done += n;
    if (was_empty || count_ >= kSlice) input_ready_.notify_one();
  }
  return static_cast<int32_t>(done);
}

bool VirtualPrinterLink::Purge() {
  std::lock_guard lock(mutex_);
  answer_head_ = 0;
  answer_count_ = 0;
  return true;
}

int32_t VirtualPrinterLink::ReceiveQueueCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int32_t>(answer_count_);
}

int32_t VirtualPrinterLink::Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  space_ready_.wait_for(lock, std::chrono::milliseconds(std::max(timeout_ms, 0)),
                        [this] { return closing_ || answer_count_ > 0; });
  int32_t n = 0;
  while (n < capacity && answer_count_ > 0) {
    bytes[n++] = answers_[answer_head_];
    answer_head_ = (answer_head_ + 1) % kAnswerBuffer;
    --answer_count_;
  }
  return n;
}

bool VirtualPrinterLink::WaitUntilPrinted(int timeout_ms) {
  std::unique_lock lock(mutex_);
  return space_ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                               [this] { return closing_ || (count_ == 0 && !printing_); });
}

// ---------------------------------------------------------------------------------

namespace {

struct VirtualPrinterOfRun {
  std::mutex mutex;
  std::shared_ptr<render::VirtualPrinter> printer;
  int paper_dots = 0;
  render::Profile profile = render::Profile::kCn;
};

VirtualPrinterOfRun& OfRun() {
  static VirtualPrinterOfRun run;
  return run;
}

}  // namespace

bool OpenVirtualLink(int paper_dots, std::string* reason) {
  std::shared_ptr<render::VirtualPrinter> printer;
  {
    VirtualPrinterOfRun& run = OfRun();
    std::lock_guard lock(run.mutex);
    if (!run.printer || run.paper_dots != paper_dots) {
      render::PrinterOptions options;
      options.paper_dots = paper_dots;
      options.profile = run.profile;
      options.flash_store = render::DefaultFlashStorePath();
      options.nv_graphics_store = render::DefaultNvGraphicsPath();
      run.printer = std::make_shared<render::VirtualPrinter>(std::move(options));
      run.paper_dots = paper_dots;
    }
    printer = run.printer;
  }
  // The link of an earlier opening stops before the new one starts, so that one
  // thread at a time feeds the printer.
  CloseLinkOf(LinkKind::Virtual);
  try {
    SetLink(std::make_unique<VirtualPrinterLink>(std::move(printer)));
  } catch (const std::exception& e) {
    if (reason) *reason = std::string("virtual printer: printing thread not started: ") + e.what();
    return false;
  }
  return true;
}

std::shared_ptr<render::VirtualPrinter> VirtualPrinterOfLink() {
  VirtualPrinterOfRun& run = OfRun();
  std::lock_guard lock(run.mutex);
  return run.printer;
}

void SetVirtualProfile(render::Profile profile) {
  std::shared_ptr<render::VirtualPrinter> printer;
  {
    VirtualPrinterOfRun& run = OfRun();
    std::lock_guard lock(run.mutex);
    run.profile = profile;
    printer = run.printer;
  }
  if (printer) printer->SetProfile(profile);
}

render::Profile VirtualProfile() {
  VirtualPrinterOfRun& run = OfRun();
  std::lock_guard lock(run.mutex);
  return run.profile;
}

void CloseVirtualLink() {
  CloseLinkOf(LinkKind::Virtual);
}

void ForgetVirtualPrinter() {
  CloseLinkOf(LinkKind::Virtual);
  VirtualPrinterOfRun& run = OfRun();
  std::lock_guard lock(run.mutex);
  run.printer.reset();
  run.paper_dots = 0;
  run.profile = render::Profile::kCn;
}

bool WaitVirtualPrinterIdle(int timeout_ms) {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  auto* link = dynamic_cast<VirtualBackend*>(s.link.get());
  return link == nullptr || link->WaitUntilPrinted(timeout_ms);
}

int32_t ReadVirtualAnswers(uint8_t* out, int32_t max) {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  auto* link = dynamic_cast<VirtualBackend*>(s.link.get());
  return link != nullptr ? link->Read(out, max, 0) : 0;
}

}  // namespace tillvane
