// The bits of the printer's status answers, by name.
//
// DLE EOT n answers one byte per n: 1 printer, 2 offline cause, 3 error cause, 4 paper
// sensors. Every such answer has bits 1 and 4 set and bits 0 and 7 clear, by which it
// is told apart from other bytes the printer sends. GS r 1 answers one byte about the
// paper sensors, without fixed bits.
#pragma once

#include <cstdint>

namespace tillvane::protocol {

// The fixed bits of every DLE EOT answer.
inline constexpr uint8_t kStatusFixedSet = 0x12;
inline constexpr uint8_t kStatusFixedClear = 0x81;

constexpr bool StatusFixedBitsOk(uint8_t answer) {
  return (answer & kStatusFixedSet) == kStatusFixedSet && (answer & kStatusFixedClear) == 0;
}

// The DLE EOT requests.
inline constexpr uint8_t kStatusPrinter = 1, kStatusOffline = 2, kStatusError = 3, kStatusPaper = 4;
inline constexpr int kStatusRequests = 4;

// DLE EOT 1: the printer.
inline constexpr uint8_t kPrinterOffline = 0x08;
// DLE EOT 2: why it is offline.
inline constexpr uint8_t kOfflineCoverOpen = 0x04;
inline constexpr uint8_t kOfflineFeedButton = 0x08;  // paper being fed by the feed button
inline constexpr uint8_t kOfflinePaperEnd = 0x20;    // printing stopped for the paper end
inline constexpr uint8_t kOfflineError = 0x40;
// DLE EOT 3: which error.
inline constexpr uint8_t kErrorCutter = 0x08;
inline constexpr uint8_t kErrorUnrecoverable = 0x20;
inline constexpr uint8_t kErrorAutoRecoverable = 0x40;
// DLE EOT 4: the paper sensors.
inline constexpr uint8_t kPaperNearEnd = 0x0C;
inline constexpr uint8_t kPaperEnd = 0x60;

// GS r 1: the paper sensors (paper out wins over near end when both are set).
inline constexpr uint8_t kPaperSensorNearEnd = 0x03;
inline constexpr uint8_t kPaperSensorOut = 0x0C;

// GS I n: the answers of the virtual printer to its identity requests (model, type,
// firmware version).
inline constexpr uint8_t kIdentityModel = 0x20;
inline constexpr uint8_t kIdentityType = 0x02;
inline constexpr uint8_t kIdentityVersion = 0x64;

}  // namespace tillvane::protocol
