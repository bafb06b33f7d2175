#include "render/parser.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "render/handlers.h"

namespace tillvane::render {
namespace {

// Header lengths that are not a plain count.
constexpr size_t kUnknown = 0;
constexpr size_t kUntilNul = static_cast<size_t>(-1);
constexpr size_t kByThird = static_cast<size_t>(-2);  // the third byte tells

// Longest data of the zero-ended bar code form, and of ESC D's tab list.
constexpr size_t kMaxZeroEndedData = 255;
constexpr size_t kMaxTabs = 32;

// The lengths of the commands introduced by ESC, FS and GS, by their second byte.
struct Lengths {
  uint8_t first;
  std::string_view seconds;
  size_t length;
};

constexpr Lengths kLengths[] = {
    {ESC, "2@LS\fim<", 2},  {ESC, " !-3EGJMRTUVadet{FrK%?=", 3},
    {ESC, "$\\c", 4},       {ESC, "p*&", 5},
    {ESC, "W", 10},         {ESC, "D", kUntilNul},
    {FS, "&.", 2},          {FS, "!-CWq", 3},
    {FS, "pS", 4},          {FS, "2", 75},
    {GS, ":", 2},           {GS, "!#/BHITabfhrwE", 3},
    {GS, "$\\LWP*", 4},     {GS, "^(", 5},
    {GS, "Vkv8", kByThird},
};

constexpr uint8_t kPrefixed[] = {ESC, FS, GS};
using LengthLookup = std::array<std::array<size_t, 256>, std::size(kPrefixed)>;

constexpr size_t PrefixRow(uint8_t first) {
  for (size_t i = 0; i < std::size(kPrefixed); ++i)
    if (kPrefixed[i] == first) return i;
  return std::size(kPrefixed);
}

constexpr LengthLookup MakeLengthLookup() {
  LengthLookup lookup{};
  for (const Lengths& l : kLengths)
    for (char second : l.seconds) {
      size_t& slot = lookup[PrefixRow(l.first)][static_cast<uint8_t>(second)];
      if (slot != kUnknown) throw "two lengths for one command";  // stops the build
      slot = l.length;
    }
  return lookup;
}

constexpr LengthLookup kLengthLookup = MakeLengthLookup();

// GS V, GS k, GS v and GS 8, whose length depends on their third byte.
size_t ByThirdLength(const std::vector<uint8_t>& cmd) {
  if (cmd.size() < 3) return 3;
  const uint8_t m = cmd[2];
  switch (cmd[1]) {
    case 'V':
      if (m == 0 || m == 1 || m == '0' || m == '1') return 3;
      if (m == 'A' || m == 'B' || m == 'a' || m == 'b' || m == 'g' || m == 'h') return 4;
      return kUnknown;
    case 'k':
      if (m <= 6) return kUntilNul;
      if (m >= 65 && m <= 73) return 4;
      return kUnknown;
    case 'v':
      return m == '0' ? 8 : kUnknown;
    case '8':
      return m == 'L' ? 7 : kUnknown;
    default:
      return kUnknown;
  }
}

size_t DleLength(const std::vector<uint8_t>& cmd) {
  const size_t n = cmd.size();
  if (n < 2) return 2;
  if (cmd[1] == EOT) return n < 3 ? 3 : (cmd[2] == 7 ? 4 : 3);
  if (cmd[1] == ENQ) return 3;
  if (cmd[1] == DC4) return 5;
  return kUnknown;
}

}  // namespace

size_t Parser::HeaderLength() const {
  const uint8_t c = cmd_[0];
  switch (c) {
    case HT:
    case LF:
    case FF:
    case CR:
    case CAN:
      return 1;
    case NAK:
    case RS:
      return 2;
    case DLE:
      return DleLength(cmd_);
    case ESC:
    case FS:
    case GS: {
      if (cmd_.size() < 2) return 2;
      const size_t length = kLengthLookup[PrefixRow(c)][cmd_[1]];
      return length == kByThird ? ByThirdLength(cmd_) : length;
    }
    default:
      return kUnknown;
  }
}

void Parser::Execute(Machine& m) {
  RunCommand(m, Command{cmd_, cmd_offset_});
  cmd_.clear();
  TakePayload(m);
}

void Parser::TakePayload(Machine& m) {
  while (m.expected) {
    const PayloadRequest request = *m.expected;
    m.expected.reset();
    payload_ = request.kind;
    payload_left_ = request.size;
    payload_collect_ = request.collect;
    payload_bytes_.clear();
    if (request.collect) payload_bytes_.reserve(static_cast<size_t>(request.size));
    if (request.size != 0) return;
    payload_ = Payload::kNone;
    CompletePayload(m, request.kind, payload_bytes_);
  }
}

void Parser::Byte(Machine& m, uint8_t b) {
  if (cmd_.empty()) {
    if (gbk_lead_ >= 0) {
      const uint8_t lead = static_cast<uint8_t>(gbk_lead_);
      gbk_lead_ = -1;
      if (b >= 0x40 && b <= 0xFE && b != 0x7F) {
        m.PrintDouble(lead, b);
        return;
      }
      m.Unknown(gbk_offset_, 1);
    }
    if (b >= 0x20 && b != 0x7F) {
      if (m.chinese && b >= 0x81 && b <= 0xFE) {
        gbk_lead_ = b;
        gbk_offset_ = offset_;
      } else if (m.chinese && b >= 0x80) {
        m.Unknown(offset_, 1);
      } else {
        m.PrintSingle(b);
      }
      return;
    }
    cmd_offset_ = offset_;
  }
  cmd_.push_back(b);
  const size_t need = HeaderLength();
  if (need == kUnknown) {
    m.Unknown(cmd_offset_, cmd_.size());
    cmd_.clear();
    return;
  }
  if (need == kUntilNul) {
    // The data of a zero-ended command starts after GS k m, or after ESC D.
    const size_t start = cmd_[0] == GS ? 3 : 2;
    const size_t limit = cmd_[0] == GS ? kMaxZeroEndedData : kMaxTabs;
    if (cmd_.size() > start && b == 0) {
      Execute(m);
    } else if (cmd_.size() > start + limit) {
      m.Refuse(cmd_offset_, "command data without its ending zero byte within " +
                                std::to_string(limit) + " bytes; dropped");
      cmd_.clear();
    }
    return;
  }
  if (cmd_.size() < need) return;
  Execute(m);
}

void Parser::Feed(Machine& m, const uint8_t* bytes, size_t size) {
  size_t i = 0;
  while (i < size) {
    if (payload_ != Payload::kNone) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(payload_left_, size - i));
      if (payload_collect_)
        payload_bytes_.insert(payload_bytes_.end(), bytes + i, bytes + i + take);
      i += take;
      offset_ += take;
      m.report.bytes += take;
      payload_left_ -= take;
      if (payload_left_ == 0) {
        const Payload kind = payload_;
        payload_ = Payload::kNone;
        CompletePayload(m, kind, payload_bytes_);
        TakePayload(m);
      }
      continue;
    }
    Byte(m, bytes[i]);
    ++i;
    ++offset_;
    ++m.report.bytes;
  }
}

void Parser::Finish(Machine& m) {
  if (gbk_lead_ >= 0) {
    m.Unknown(gbk_offset_, 1);
    gbk_lead_ = -1;
  }
  if (!cmd_.empty()) {
    m.Refuse(cmd_offset_, "command cut short by the end of the input");
    m.Unknown(cmd_offset_, cmd_.size());
    cmd_.clear();
  }
  if (payload_ != Payload::kNone) {
    payload_ = Payload::kNone;
    payload_left_ = 0;
    payload_bytes_.clear();
    m.PayloadCutShort();
  }
  m.Finish(offset_);
}

}  // namespace tillvane::render
