// The virtual printer: a streaming interpreter of the printer's byte command language.
// Bytes go in, in any split into calls (a command cut between two calls continues in
// the next); pages of 1-bit dots come out through a callback. It never stops on bad
// input, never reads past what it was given, and holds bounded memory: images larger
// than the printer's memory are refused, a page longer than kMaxPageRows continues on
// a new page.
//
// Not thread-safe: one thread feeds it. VirtualPrinter (virtual_printer.h) wraps it for
// a job thread that feeds and a window that watches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/page.h"
#include "render/profile.h"
#include "render/trace.h"

namespace tillvane::protocol {
struct CommandRow;
}

namespace tillvane::render {

// Whether the virtual printer carries out the commands of a row of the command table
// (draws them, or takes them with nothing to draw); it reports the others as read but
// not drawn. For a counter that reads a job without drawing it.
bool CarriesOut(const protocol::CommandRow* row);

// What the printer reports on its back channel (GS r, DLE EOT).
struct PrinterStatus {
  bool paper_out = false;
  bool paper_near_end = false;
  bool cover_open = false;
  bool offline = false;
  bool operator==(const PrinterStatus&) const = default;
};

// What the printer made of its input so far.
struct Report {
  static constexpr size_t kMaxListed = 20;
  uint64_t bytes = 0;                     // bytes taken
  uint64_t unknown_bytes = 0;             // bytes of no command the printer knows
  std::vector<uint64_t> unknown_offsets;  // offsets of the first kMaxListed of them
  uint64_t refused = 0;                   // commands refused (too large, out of range)
  std::vector<std::string> notes;         // the first kMaxListed refusals, with offsets
  // Commands read but not drawn: known by their length, nothing of them put on the
  // paper ("GS ( k 50 81 at 1234: MaxiCode not drawn"), the first kMaxListed of them.
  uint64_t not_drawn = 0;
  std::vector<std::string> not_drawn_notes;
  uint64_t pages = 0;    // pages put out
  uint64_t replies = 0;  // back-channel bytes answered
};

struct PrinterOptions {
  int paper_dots = kDots80mm;  // dots per line
  // What text bytes mean at power-on and after ESC @ (profile.h).
  Profile profile = Profile::kCn;
  // File the flash logos are loaded from and saved to; empty keeps them in memory only.
  std::filesystem::path flash_store;
  // File the NV graphics (GS ( L fn 67) are kept in; empty keeps them in memory only, for
  // as long as the printer lasts.
  std::filesystem::path nv_graphics_store;
  // False when something in front of the printer answers DLE EOT as the bytes arrive
  // (as a printer's receive buffer does): the request is then taken but not answered
  // again here.
  bool answer_realtime = true;
  // Answers to the commands this printer does not answer itself (GS I of the printer's
  // names, GS a): called with each whole command as it is carried out; the bytes
  // returned go to the back channel in order with the printer's own.
  std::function<std::vector<uint8_t>(const uint8_t* command, size_t size)> more_answers;
  // When set, the printer hands out each item of its input as it ends (the last at
  // Finish) and marks its pages with what drew them (trace.h).
  ItemSink trace;
};

class Printer {
 public:
  using PageSink = std::function<void(Page&&)>;

  explicit Printer(PrinterOptions options = {}, PageSink sink = {});
  ~Printer();
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  void Feed(const uint8_t* bytes, size_t size);
  void Feed(const std::vector<uint8_t>& bytes) { Feed(bytes.data(), bytes.size()); }

  // End of the input: a pending line of standard mode is printed and the paper fed so
  // far goes out as the last page (when it holds any row). Data still held in a page
  // area is not printed, as on a printer that gets no FF. Feeding may go on after it.
  void Finish();

  // Back channel: answers to real-time requests, oldest first. Returns the count.
  size_t ReadReplies(uint8_t* out, size_t max);
  size_t PendingReplies() const;

  void SetStatus(const PrinterStatus& status);
  PrinterStatus status() const;

  const Report& report() const;
  // The paper fed since the last page went out (rows printed but not yet cut).
  const Bitmap& CurrentPage() const;
  // Tears off the paper fed since the last page without putting it out.
  void DiscardPaper();
  int paper_dots() const;
  // A printer set to another profile, as by its switches and a power cycle between two
  // jobs: the text settings go back to those of `profile` at power-on; paper, logos and
  // the report stay.
  void SetProfile(Profile profile);
  Profile profile() const;
  // Numbers of the RAM logos defined, for tests and the preview's status.
  std::vector<int> RamLogoNumbers() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tillvane::render
