#include "commands/printer_status.h"

#include "base/operator_text.h"

namespace tillvane {
namespace {

std::string Hex(uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0x0F];
}

std::string Bits(uint8_t b) {
  std::string text(8, '0');
  for (int i = 0; i < 8; ++i)
    if (b & (0x80 >> i)) text[static_cast<size_t>(i)] = '1';
  return text;
}

std::string Meaning(const StatusFlag& f) {
  return std::string(f.chinese) + " (" + f.english + ")";
}

}  // namespace

PaperState DecodePaperStatus(uint8_t answer) {
  if (answer & protocol::kPaperSensorOut) return PaperState::Out;
  if (answer & protocol::kPaperSensorNearEnd) return PaperState::NearEnd;
  return PaperState::Ready;
}

const char* PaperStateText(PaperState state) {
  switch (state) {
    case PaperState::NearEnd:
      return OPERATOR_TEXT("Operator", "纸将尽");
    case PaperState::Out:
      return OPERATOR_TEXT("Operator", "缺纸");
    case PaperState::Ready:
      break;
  }
  return OPERATOR_TEXT("Operator", "就绪");
}

int DecodeRealTimeStatus(int request, uint8_t answer, std::array<StatusFlag, 5>* flags) {
  if (request < 1 || request > kStatusRequests || !StatusFixedBitsOk(answer)) return -1;
  int count = 0;
  auto add = [&](const StatusFlag& f) {
    if (flags != nullptr) (*flags)[static_cast<size_t>(count)] = f;
    ++count;
  };
  if (request == 1 && !(answer & kOnlineFlag.mask)) add(kOnlineFlag);
  for (const StatusFlag& f : kStatusFlags)
    if (f.request == request && (answer & f.mask)) add(f);
  if (request == kPaperEndFlag.request && (answer & kPaperEndFlag.mask)) add(kPaperEndFlag);
  return count;
}

std::string StatusReport(const StatusAnswers& answers) {
  std::string text;
  std::string missing;
  for (int n = 1; n <= kStatusRequests; ++n) {
    const std::optional<uint8_t>& a = answers[static_cast<size_t>(n - 1)];
    text += "DLE EOT " + std::to_string(n) + ": ";
    if (!a) {
      text += "无应答 (no answer)\n";
      if (!missing.empty()) missing += ", ";
      missing += std::to_string(n);
      continue;
    }
    text += Hex(*a) + "  " + Bits(*a) + "  ";
    std::array<StatusFlag, 5> flags{};
    const int count = DecodeRealTimeStatus(n, *a, &flags);
    if (count < 0) {
      text += "无法识别 (not understood)";
    } else if (count == 0) {
      text += "正常 (normal)";
    } else {
      for (int i = 0; i < count; ++i) {
        if (i > 0) text += ", ";
        text += Meaning(flags[static_cast<size_t>(i)]);
      }
    }
    text += '\n';
  }
  if (!missing.empty()) text += "\n无应答的请求 (no answer to): DLE EOT " + missing + '\n';
  return text;
}

}  // namespace tillvane
