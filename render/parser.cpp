#include "render/parser.h"

#include <string>

#include "render/handlers.h"

namespace tillvane::render {
namespace {

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

void Parser::DropLead() {
  if (gbk_lead_ < 0) return;
  gbk_lead_ = -1;
  m_.Unknown(gbk_offset_, 1);
}

void Parser::OnToken(const protocol::Token& t) {
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
      m_.Unknown(t.offset, t.count);
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
      m_.Unknown(offset + i, 1);
    } else {
      m_.PrintSingle(b);
    }
  }
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
