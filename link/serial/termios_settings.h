// Pure helpers that turn the port page's line settings into a termios structure and
// the modem-line plan of the link. No system call is made here, so every choice can
// be checked without a device.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

#include "link/serial/serial_error.h"
#include "link/serial_port.h"

namespace tillvane::serial {

inline constexpr cc_t kXon = 0x11;
inline constexpr cc_t kXoff = 0x13;

// Everything the device layer applies after opening.
struct LinePlan {
  termios tio{};
  int raise_lines = 0;    // TIOCM_* bits to raise (TIOCMBIS)
  int drop_lines = 0;     // TIOCM_* bits to drop (TIOCMBIC)
  bool wait_dsr = false;  // output waits for DSR, checked by the link before writing
};

// Bxxxx for the rates the port page offers (1200 to 57600); nullopt for others.
[[nodiscard]] std::optional<speed_t> SpeedForBaud(BaudRate baud);
// CS5..CS8 for 5..8 data bits; nullopt for others.
[[nodiscard]] std::optional<tcflag_t> CharSizeForDataBits(DataBits bits);

// Fills `plan` from the settings and the device's current termios. Only the fields
// that belong to the line settings change; the others keep what the device reported.
// A refused setting leaves `plan` untouched and returns an InvalidSetting error.
SerialError FillLinePlan(const SerialSettings& settings, const termios& current, LinePlan* plan);

// Write deadline in ms for a write of `length` bytes: multiplier x length + constant,
// without overflow.
inline uint64_t WriteDeadlineMs(uint32_t multiplier_ms, uint32_t constant_ms, int32_t length) {
  uint64_t n = length > 0 ? static_cast<uint64_t>(length) : 0;
  return static_cast<uint64_t>(multiplier_ms) * n + constant_ms;
}

}  // namespace tillvane::serial
