// What a printer's status answers mean. Pure functions over the answer bytes; the
// requests themselves are sent by status_query.h.
//
// GS r 1 (1D 72 01) answers one byte about the paper sensors. DLE EOT n (10 04 n)
// answers one byte per n: 1 printer status, 2 offline cause, 3 error cause, 4 paper
// sensors. Every DLE EOT answer has fixed bits (1 and 4 set, 0 and 7 clear) by which
// it is told apart from other bytes the printer may send.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/control_bytes.h"
#include "protocol/status_bits.h"

namespace tillvane {

using protocol::DLE, protocol::EOT;

// The paper as the GS r 1 answer tells it.
enum class PaperState { Ready, NearEnd, Out };
// Bits 2 or 3 set: paper out (this wins when the near-end bits are set too); bits 0
// or 1 set: paper near end; otherwise ready.
PaperState DecodePaperStatus(uint8_t answer);
// "就绪", "纸将尽" or "缺纸".
const char* PaperStateText(PaperState state);

// One flag of a DLE EOT answer, with its meaning in Chinese and in English.
struct StatusFlag {
  int request;  // DLE EOT n: 1..4
  uint8_t mask;
  const char* chinese;
  const char* english;
};

using protocol::kStatusRequests;
// The flags the status display shows, in request order. Request 1's bit 3 is shown
// both ways: "脱机" when set, "联机" when clear.
inline constexpr std::array<StatusFlag, 9> kStatusFlags{{
    {protocol::kStatusPrinter, protocol::kPrinterOffline, "脱机", "offline"},
    {protocol::kStatusOffline, protocol::kOfflineCoverOpen, "纸仓盖打开", "cover open"},
    {protocol::kStatusOffline, protocol::kOfflineFeedButton, "按走纸键进纸",
     "paper fed by the feed button"},
    {protocol::kStatusOffline, protocol::kOfflinePaperEnd, "缺纸停止打印",
     "printing stopped for paper end"},
    {protocol::kStatusOffline, protocol::kOfflineError, "有错误发生", "error occurred"},
    {protocol::kStatusError, protocol::kErrorCutter, "切刀错误", "auto-cutter error"},
    {protocol::kStatusError, protocol::kErrorUnrecoverable, "不可恢复错误", "unrecoverable error"},
    {protocol::kStatusError, protocol::kErrorAutoRecoverable, "可自动恢复错误",
     "auto-recoverable error"},
    {protocol::kStatusPaper, protocol::kPaperNearEnd, "纸将尽", "paper near end"},
}};
// Request 4's paper-end bits, and the online text of request 1.
inline constexpr StatusFlag kPaperEndFlag{protocol::kStatusPaper, protocol::kPaperEnd, "缺纸",
                                          "paper end"};
inline constexpr StatusFlag kOnlineFlag{protocol::kStatusPrinter, protocol::kPrinterOffline, "联机",
                                        "online"};

// Bits 1 and 4 set, bits 0 and 7 clear.
using protocol::StatusFixedBitsOk;

// The flags that `answer` to DLE EOT `request` sets, in table order, up to 5 of them;
// returns their count. An answer that fails the fixed-bit check, or a request outside
// 1..4, sets none and gives -1: it is not understood and never decoded.
int DecodeRealTimeStatus(int request, uint8_t answer, std::array<StatusFlag, 5>* flags);

// The answers of DLE EOT 1..4, each empty when none came in time.
using StatusAnswers = std::array<std::optional<uint8_t>, kStatusRequests>;

// The text of the status message box: one line per request with the byte in hex and
// in bits and the meaning of its flags (or "无应答 (no answer)", or "无法识别 (not
// understood)"), then the list of requests that got no answer.
std::string StatusReport(const StatusAnswers& answers);

}  // namespace tillvane
