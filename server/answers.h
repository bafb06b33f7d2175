// The printer's answers that are not drawing: the real-time status requests found in the
// receive buffer as bytes arrive, the printer's names (GS I), and automatic status back
// (GS a). The virtual printer answers GS r and the status bytes themselves; these pieces
// put them on the line at the right time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/printer.h"

namespace tillvane::server {

// What the printer calls itself.
struct PrinterIdentity {
  std::string maker = "Tillvane";
  std::string firmware = "2.41";
  std::string model = "TV-80";
  std::string serial = "TV0000001";
};
// The model name by the paper width, with the profile's suffix ("TV-80", "TV-56-INTL").
PrinterIdentity IdentityFor(int paper_dots, render::Profile profile = render::Profile::kCn);

// Finds DLE EOT n in the bytes as they arrive, across any split into reads, as a
// printer scans its receive buffer: each request found gives its answer once. DLE EOT 7
// (four bytes) takes its last byte without an answer.
class RealtimeScanner {
 public:
  RealtimeScanner();
  ~RealtimeScanner();
  // Appends to `answers` the answers to the requests completed in `bytes`, from `status`.
  void Scan(const uint8_t* bytes, size_t size, const render::PrinterStatus& status,
            std::vector<uint8_t>* answers);
  void Reset() { state_ = State::kIdle; }

 private:
  enum class State { kIdle, kDle, kDleEot, kDleEot7 };
  State state_ = State::kIdle;
  // The printer's own real-time unit: it is given just the requests, so that its answers
  // are the same bytes the virtual printer gives.
  std::unique_ptr<render::Printer> unit_;
};

// Automatic status back: the four bytes a printer sends on its own.
std::array<uint8_t, 4> AutomaticStatus(const render::PrinterStatus& status);

// The answers to the commands the interpreter leaves to the server, for
// render::PrinterOptions::more_answers: GS I 65..68 (firmware, maker, model, serial
// number, as '_' text NUL) and GS a n, which switches automatic status back on (n not 0:
// the status goes out at once) or off. `asb` is told the new setting.
std::vector<uint8_t> CommandAnswer(const uint8_t* command, size_t size,
                                   const PrinterIdentity& identity,
                                   const render::PrinterStatus& status,
                                   const std::function<void(uint8_t)>& asb);

}  // namespace tillvane::server
