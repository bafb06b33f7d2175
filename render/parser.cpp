#include "render/parser.h"

#include <string>

#include "render/handlers.h"

namespace tillvane::render {
namespace {

// The printer's macro buffer.
constexpr size_t kMaxMacroBytes = 2048;
// Macro runs replay at most this many bytes plus 64 for each byte of input, so that a
// short input cannot keep the printer busy without end.
constexpr uint64_t kReplayAllowance = 65536;

bool Is(const protocol::Token& t, uint8_t second) {
  return t.kind == protocol::TokenKind::kCommand && t.part == 0 && t.row != nullptr &&
         t.row->intro[0] == GS && t.row->intro_size == 2 && t.row->intro[1] == second;
}

// The bytes that may follow a double-byte lead (0x81 to 0xFE) as its trail.
bool IsGbkTrail(uint8_t b) {
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

}  // namespace

void Parser::Feed(const uint8_t* bytes, size_t size) {
  tokenizer_.Feed(bytes, size, *this);
  m_.report.bytes += size;
}

void Parser::Finish() {
  tokenizer_.Finish(*this);
  DropLead();
  m_.Finish(tokenizer_.offset());
}

// Bytes of no command are bytes of the input: those a macro replays again were counted
// where they arrived (or, being text a replay reads in another mode, are no bytes of the
// input at all), so a replay adds none.
void Parser::Unknown(uint64_t at, uint64_t count) {
  if (!replaying_) m_.Unknown(at, count);
}

void Parser::DropLead() {
  if (gbk_lead_ < 0) return;
  gbk_lead_ = -1;
  Unknown(gbk_offset_, 1);
}

void Parser::OnToken(const protocol::Token& token) {
  protocol::Token replayed;
  if (replaying_) {
    // What a macro does is reported at the GS ^ that ran it.
    replayed = token;
    replayed.offset = replayed.command_offset = replay_offset_;
  }
  const protocol::Token& t = replaying_ ? replayed : token;
  if (Macro(t)) return;
  if (defining_) Record(t);
  if (t.kind == protocol::TokenKind::kText) {
    Text(t.bytes, t.offset);
    return;
  }
  DropLead();
  switch (t.kind) {
    case protocol::TokenKind::kCommand:
      RunCommand(m_, Command{t.bytes, t.command_offset, t.row, t.part, t.last, t.data_skipped});
      break;
    case protocol::TokenKind::kUnknown:
      Unknown(t.offset, t.count);
      break;
    case protocol::TokenKind::kRefused:
      Refused(t);
      break;
    case protocol::TokenKind::kText:
      break;
  }
}

void Parser::Text(std::span<const uint8_t> text, uint64_t offset) {
  for (size_t i = 0; i < text.size(); ++i) {
    const uint8_t b = text[i];
    if (gbk_lead_ >= 0) {
      const uint8_t lead = static_cast<uint8_t>(gbk_lead_);
      if (IsGbkTrail(b)) {
        gbk_lead_ = -1;
        m_.PrintDouble(lead, b);
        continue;
      }
      DropLead();
    }
    if (m_.chinese && b >= 0x81 && b <= 0xFE) {
      gbk_lead_ = b;
      gbk_offset_ = offset + i;
    } else if (m_.chinese && b >= 0x80) {
      Unknown(offset + i, 1);
    } else {
      m_.PrintSingle(b);
    }
  }
}

bool Parser::Macro(const protocol::Token& t) {
  if (Is(t, ':')) {
    DropLead();
    if (replaying_) return true;
    if (!defining_) {
      macro_.clear();
      dropped_ = false;
    }
    defining_ = !defining_;
    return true;
  }
  if (!Is(t, '^')) return false;
  DropLead();
  if (defining_) {
    // GS ^ within a definition ends it with no macro.
    defining_ = false;
    macro_.clear();
    m_.Refuse(t.command_offset, "GS ^ while a macro was being defined; the macro dropped");
    return true;
  }
  if (replaying_ || macro_.empty()) return true;
  // GS ^ r t m: r times; the pause t and the wait for the feed button (m 1) are not
  // waited for here.
  const int times = t.bytes[2];
  const std::vector<uint8_t> macro = macro_;
  replaying_ = true;
  replay_offset_ = t.command_offset;
  for (int i = 0; i < times; ++i) {
    if (replayed_ + macro.size() > kReplayAllowance + 64 * tokenizer_.offset()) {
      m_.Refuse(t.command_offset, "GS ^: macro runs past what the input allows; stopped");
      break;
    }
    replayed_ += macro.size();
    protocol::Tokenizer tokenizer;
    tokenizer.Feed(macro.data(), macro.size(), *this);
    tokenizer.Finish(*this);
    DropLead();
  }
  replaying_ = false;
  return true;
}

void Parser::Record(const protocol::Token& t) {
  if (dropped_ || t.kind == protocol::TokenKind::kUnknown) return;  // nothing to replay
  const bool kept = t.kind == protocol::TokenKind::kText ||
                    (t.kind == protocol::TokenKind::kCommand && !t.data_skipped);
  if (kept && macro_.size() + t.bytes.size() <= kMaxMacroBytes) {
    macro_.insert(macro_.end(), t.bytes.begin(), t.bytes.end());
    return;
  }
  // The definition goes on to its GS :, and leaves no macro.
  dropped_ = true;
  macro_.clear();
  m_.Refuse(t.offset, kept ? "macro longer than 2048 bytes; the macro dropped"
                           : "macro holds a command it cannot keep; the macro dropped");
}

// The tokenizer's refusals, with what each means for the machine. Its reports of
// commands cut short or of a bad ESC * mode are followed by the bytes as unknown.
void Parser::Refused(const protocol::Token& t) {
  m_.Refuse(t.command_offset, std::string(t.note));
  switch (t.problem) {
    case protocol::Problem::kDataCutShort:
      m_.DataCutShort();
      break;
    case protocol::Problem::kImageOutOfRange:
      // No printer takes such an image: the whole definition is refused and the flash
      // keeps what it held.
      m_.flash_incoming.clear();
      break;
    default:
      break;
  }
}

}  // namespace tillvane::render
