// The virtual printer as a link: SendData hands the bytes to a printer drawn in memory
// (render/), which prints them on a thread of the link's own, never on the sender's,
// and answers status requests on a back channel. The window watches the paper through
// the printer's snapshots.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/backends.h"
#include "render/virtual_printer.h"

namespace tillvane {

class VirtualPrinterLink final : public VirtualBackend {
 public:
  // Bytes taken but not yet printed: a writer that finds this much waiting waits for
  // the printer, as a sender waits on a printer's full input buffer.
  static constexpr size_t kInputBuffer = 64 * 1024;
  // Answers kept on the back channel when nobody reads them; the oldest go first.
  static constexpr size_t kAnswerBuffer = 4096;
  // The most the printer takes at once; a slice is printed as soon as it is full, a
  // shorter one after kGatherMs, so that a stream of one-byte sends wakes the thread
  // once per slice and not once per byte.
  static constexpr size_t kSlice = 4096;
  static constexpr int kGatherMs = 2;

  // Starts the printing thread. Throws std::system_error when it cannot be started.
  explicit VirtualPrinterLink(std::shared_ptr<render::VirtualPrinter> printer);
  // Stops taking bytes, wakes a waiting writer and ends the printing thread once its
  // current slice is printed. Bytes not yet printed are dropped, as a printer switched
  // off loses its buffer.
  ~VirtualPrinterLink() override;
  // The same, while the link object stays: a writer waiting for room returns with what
  // was taken. For one thread at a time; the destructor calls it.
  void Close() override;
  VirtualPrinterLink(const VirtualPrinterLink&) = delete;
  VirtualPrinterLink& operator=(const VirtualPrinterLink&) = delete;

  int32_t Write(const uint8_t* bytes, int32_t length) override;
  bool Purge() override;
  int32_t ReceiveQueueCount() override;
  int32_t Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) override;

  bool WaitUntilPrinted(int timeout_ms) override;

  const std::shared_ptr<render::VirtualPrinter>& printer() const { return printer_; }

 private:
  void Run();

  std::shared_ptr<render::VirtualPrinter> printer_;
  std::mutex mutex_;
  std::condition_variable input_ready_;  // bytes to print, or closing
  std::condition_variable space_ready_;  // room in the input buffer, printed, answered
  std::vector<uint8_t> input_;           // ring of kInputBuffer bytes
  size_t head_ = 0;                      // first byte not yet printed
  size_t count_ = 0;                     // bytes waiting
  bool printing_ = false;                // the thread is printing a slice
  bool closing_ = false;
  std::vector<uint8_t> answers_;  // ring of kAnswerBuffer bytes
  size_t answer_head_ = 0;
  size_t answer_count_ = 0;
  std::vector<uint8_t> reply_slice_;  // the printing thread's own
  std::thread thread_;
};

// Opens the virtual printer link for `paper_dots` dots per line; the flash logos live
// in the store of render::DefaultFlashStorePath(). The printer of an earlier opening
// is kept, with its paper, logos and state, when its paper is as wide; otherwise a new
// printer starts on blank paper. False and `reason` when the link cannot be opened.
[[nodiscard]] bool OpenVirtualLink(int paper_dots, std::string* reason);
// The printer of the last opening; null before the first. It stays after the link is
// closed, so that its paper can still be looked at.
std::shared_ptr<render::VirtualPrinter> VirtualPrinterOfLink();
// The virtual printer's character profile: the printer of the run takes it at once (its
// text settings as at power-on), and every printer opened later starts with it. cn until
// set.
void SetVirtualProfile(render::Profile profile);
render::Profile VirtualProfile();
// Closes the link (what it has not printed is dropped). The printer stays.
void CloseVirtualLink();
// Closes the link and lets the printer of the run go: the next opening starts a new
// printer on blank paper, with its flash logos read again from the store, in profile cn.
void ForgetVirtualPrinter();
// Waits until everything sent to the open virtual printer has been printed; true at
// once when no virtual link is open.
[[nodiscard]] bool WaitVirtualPrinterIdle(int timeout_ms);
// Takes up to `max` answer bytes from the open virtual printer's back channel; 0 when
// no virtual link is open.
int32_t ReadVirtualAnswers(uint8_t* out, int32_t max);

}  // namespace tillvane
