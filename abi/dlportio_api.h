// The twelve entry points of the port I/O library, as our own library and its
// simulated twin export them and as the loader resolves them. Port addresses are
// 16 bits wide; the word and double-word forms cover two and four consecutive byte
// addresses, lowest address in the lowest byte. The buffer forms repeat the access
// `count` times at the same address.
#pragma once

#include <cstdint>

extern "C" {

using DlPortReadPortUcharFn = uint8_t (*)(uint16_t port);
using DlPortReadPortUshortFn = uint16_t (*)(uint16_t port);
using DlPortReadPortUlongFn = uint32_t (*)(uint16_t port);
using DlPortWritePortUcharFn = void (*)(uint16_t port, uint8_t value);
using DlPortWritePortUshortFn = void (*)(uint16_t port, uint16_t value);
using DlPortWritePortUlongFn = void (*)(uint16_t port, uint32_t value);
using DlPortReadPortBufferUcharFn = void (*)(uint16_t port, uint8_t* buffer, uint32_t count);
using DlPortReadPortBufferUshortFn = void (*)(uint16_t port, uint16_t* buffer, uint32_t count);
using DlPortReadPortBufferUlongFn = void (*)(uint16_t port, uint32_t* buffer, uint32_t count);
using DlPortWritePortBufferUcharFn = void (*)(uint16_t port, const uint8_t* buffer, uint32_t count);
using DlPortWritePortBufferUshortFn = void (*)(uint16_t port, const uint16_t* buffer,
                                               uint32_t count);
using DlPortWritePortBufferUlongFn = void (*)(uint16_t port, const uint32_t* buffer,
                                              uint32_t count);
}

namespace tillvane {

// The names in the order the loader resolves them.
inline constexpr const char* kPortIoEntryPoints[12] = {
    "DlPortReadPortUchar",        "DlPortReadPortUshort",        "DlPortReadPortUlong",
    "DlPortWritePortUchar",       "DlPortWritePortUshort",       "DlPortWritePortUlong",
    "DlPortReadPortBufferUchar",  "DlPortReadPortBufferUshort",  "DlPortReadPortBufferUlong",
    "DlPortWritePortBufferUchar", "DlPortWritePortBufferUshort", "DlPortWritePortBufferUlong",
};

}  // namespace tillvane
