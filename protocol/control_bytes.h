// The control bytes of the printer's command language by their ASCII mnemonics.
#pragma once

#include <cstdint>

namespace tillvane::protocol {

inline constexpr uint8_t NUL = 0x00, EOT = 0x04, ENQ = 0x05, HT = 0x09, LF = 0x0A, FF = 0x0C,
                         CR = 0x0D, DLE = 0x10, DC4 = 0x14, NAK = 0x15, CAN = 0x18, ESC = 0x1B,
                         FS = 0x1C, GS = 0x1D, RS = 0x1E, SP = 0x20, DEL = 0x7F;

// Bytes that print as text rather than start a command: SP and above, except DEL.
constexpr bool IsTextByte(uint8_t b) {
  return b >= SP && b != DEL;
}

}  // namespace tillvane::protocol
