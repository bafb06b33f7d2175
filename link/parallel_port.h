// The parallel link: the port's registers read and written through the port I/O
// library, with the compatibility-mode handshake.
#pragma once

#include <cstdint>
#include <string>

namespace tillvane {

// 0 when the port I/O library is loaded, 1 when it is not. A number outside 1..8 keeps
// the port recorded before. A port whose registers would include addresses 0 to 2
// (LPT3 and LPT4 have base 0) is refused: 1, nothing loaded, no port touched.
[[nodiscard]] int32_t OpenParallel(uint8_t number, uint16_t base);
int32_t CloseParallel();
uint8_t ReadPin(uint8_t pin);
uint8_t WriteByteStrobed(uint8_t byte);
uint8_t PrintChar(uint8_t byte);
int32_t WriteBuffer(const uint8_t* bytes, int32_t length);

// Why the last write failed: the port and what the printer reported ("LPT1 (0x378):
// the printer reported paper end for more than 2000 ms"), or why the library is not
// loaded.
std::string ParallelFailureReason();

// The recorded port (LPT number 1..8, 0 before the first opening) and its base.
uint8_t ParallelPortNumber();
uint16_t ParallelPortBase();

}  // namespace tillvane
