// The word, double-word and buffer entry points of a port I/O library, written in
// terms of its byte read and byte write. A library defines
//   static uint8_t ReadByte(uint16_t port);
//   static void WriteByte(uint16_t port, uint8_t value);
// and then expands TILLVANE_DLPORTIO_WIDE_ENTRY_POINTS() at file scope. Addresses wrap
// within 16 bits like the I/O address space.
#pragma once

#include <cstdint>

#include "abi/dlportio_api.h"

#define TILLVANE_DLPORTIO_WIDE_READS()                                                             \
  extern "C" __attribute__((visibility("default"))) uint16_t DlPortReadPortUshort(uint16_t port) { \
    return static_cast<uint16_t>(ReadByte(port) |                                                  \
                                 (ReadByte(static_cast<uint16_t>(port + 1)) << 8));                \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) uint32_t DlPortReadPortUlong(uint16_t port) {  \
    uint32_t value = 0;                                                                            \
    for (int i = 3; i >= 0; --i) value = (value << 8) | ReadByte(static_cast<uint16_t>(port + i)); \
    return value;                                                                                  \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) void DlPortReadPortBufferUchar(                \
      uint16_t port, uint8_t* buffer, uint32_t count) {                                            \
    for (uint32_t i = 0; buffer != nullptr && i < count; ++i) buffer[i] = ReadByte(port);          \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) void DlPortReadPortBufferUshort(               \
      uint16_t port, uint16_t* buffer, uint32_t count) {                                           \
    for (uint32_t i = 0; buffer != nullptr && i < count; ++i)                                      \
      buffer[i] = DlPortReadPortUshort(port);                                                      \
  }                                                                                                \
  extern "C" __attribute__((visibility("default"))) void DlPortReadPortBufferUlong(                \
      uint16_t port, uint32_t* buffer, uint32_t count) {                                           \
    for (uint32_t i = 0; buffer != nullptr && i < count; ++i)                                      \
      buffer[i] = DlPortReadPortUlong(port);                                                       \
  }

#define TILLVANE_DLPORTIO_WIDE_WRITES()                                                          \
  extern "C" __attribute__((visibility("default"))) void DlPortWritePortUshort(uint16_t port,    \
                                                                               uint16_t value) { \
    WriteByte(port, static_cast<uint8_t>(value));                                                \
    WriteByte(static_cast<uint16_t>(port + 1), static_cast<uint8_t>(value >> 8));                \
  }                                                                                              \
  extern "C" __attribute__((visibility("default"))) void DlPortWritePortUlong(uint16_t port,     \
                                                                              uint32_t value) {  \
    for (int i = 0; i < 4; ++i)                                                                  \
      WriteByte(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));        \
  }                                                                                              \
  extern "C" __attribute__((visibility("default"))) void DlPortWritePortBufferUchar(             \
      uint16_t port, const uint8_t* buffer, uint32_t count) {                                    \
    for (uint32_t i = 0; buffer != nullptr && i < count; ++i) WriteByte(port, buffer[i]);        \
  }                                                                                              \
  extern "C" __attribute__((visibility("default"))) void DlPortWritePortBufferUshort(            \
      uint16_t port, const uint16_t* buffer, uint32_t count) {                                   \
    for (uint32_t i = 0; buffer != nullptr && i < count; ++i)                                    \
      DlPortWritePortUshort(port, buffer[i]);                                                    \
  }

#define TILLVANE_DLPORTIO_WRITE_BUFFER_ULONG()                                       \
  extern "C" __attribute__((visibility("default"))) void DlPortWritePortBufferUlong( \
      uint16_t port, const uint32_t* buffer, uint32_t count) {                       \
    for (uint32_t i = 0; buffer != nullptr && i < count; ++i)                        \
      DlPortWritePortUlong(port, buffer[i]);                                         \
  }

#define TILLVANE_DLPORTIO_WIDE_ENTRY_POINTS() \
  TILLVANE_DLPORTIO_WIDE_READS()              \
  TILLVANE_DLPORTIO_WIDE_WRITES()             \
  TILLVANE_DLPORTIO_WRITE_BUFFER_ULONG()
