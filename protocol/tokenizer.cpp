#include "protocol/tokenizer.h"

#include <algorithm>
#include <utility>

#include "protocol/control_bytes.h"
#include "protocol/limits.h"

namespace tillvane::protocol {
namespace {

uint64_t U16(const uint8_t* p) {
  return uint64_t{p[0]} | uint64_t{p[1]} << 8;
}

uint64_t U32(const uint8_t* p) {
  return U16(p) | U16(p + 2) << 16;
}

bool HasParts(Length length) {
  return length == Length::kRaster || length == Length::kFlashLogos || length == Length::kUserChars;
}

// The head of each part: an FS q image's xL xH yL yH, an ESC & character's width.
size_t PartHeadSize(Length length) {
  return length == Length::kFlashLogos ? 4 : length == Length::kUserChars ? 1 : 0;
}

}  // namespace

void Tokenizer::Reset() {
  phase_ = Phase::kIdle;
  row_ = nullptr;
  cmd_.clear();
  left_ = 0;
  part_ = parts_ = 0;
  skipped_part_ = false;
}

void Tokenizer::Unknown(TokenSink& sink, uint64_t at, uint64_t count) {
  Token t;
  t.kind = TokenKind::kUnknown;
  t.offset = t.command_offset = at;
  t.count = count;
  sink.OnToken(t);
}

void Tokenizer::Refuse(TokenSink& sink, Problem problem, std::string note) {
  note_ = std::move(note);
  Token t;
  t.kind = TokenKind::kRefused;
  t.offset = t.command_offset = start_;
  t.row = row_;
  t.problem = problem;
  t.note = note_;
  sink.OnToken(t);
}

void Tokenizer::EmitCommand(TokenSink& sink, bool last) {
  Token t;
  t.kind = TokenKind::kCommand;
  t.offset = part_ == 0 ? start_ : part_offset_;
  t.command_offset = start_;
  t.row = part_ == 0 ? NameCommand(row_, cmd_) : row_;
  t.bytes = cmd_;
  t.part = part_;
  t.last = last;
  t.data_skipped = skipped_part_;
  sink.OnToken(t);
}

void Tokenizer::Feed(const uint8_t* bytes, size_t size, TokenSink& sink) {
  if (bytes == nullptr) return;
  size_t i = 0;
  while (i < size) {
    switch (phase_) {
      case Phase::kIdle: {
        if (IsTextByte(bytes[i])) {
          size_t j = i + 1;
          while (j < size && IsTextByte(bytes[j])) ++j;
          Token t;
          t.kind = TokenKind::kText;
          t.offset = t.command_offset = offset_;
          t.bytes = std::span<const uint8_t>(bytes + i, j - i);
          offset_ += j - i;
          i = j;
          sink.OnToken(t);
          break;
        }
        start_ = offset_;
        if (FixedCommand(bytes + i, size - i, sink, &i)) break;
        phase_ = Phase::kHeader;
        [[fallthrough]];
      }
      case Phase::kHeader:
      case Phase::kZeroEnded:
        ++offset_;
        HeaderByte(bytes[i++], sink);
        break;
      case Phase::kPartHead:
        ++offset_;
        cmd_.push_back(bytes[i++]);
        if (cmd_.size() == PartHeadSize(row_->length)) PartHeadDone(sink);
        break;
      case Phase::kData:
      case Phase::kSkip: {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(left_, size - i));
        if (phase_ == Phase::kData) cmd_.insert(cmd_.end(), bytes + i, bytes + i + take);
        i += take;
        offset_ += take;
        left_ -= take;
        if (left_ == 0) DataDone(sink);
        break;
      }
    }
  }
}

// A command of fixed length whose bytes are all at hand goes out as they stand, without
// being gathered byte by byte: most commands of a receipt are of this kind.
bool Tokenizer::FixedCommand(const uint8_t* bytes, size_t size, TokenSink& sink, size_t* i) {
  bool more = false;
  const CommandRow* row = MatchCommand(bytes, size, &more);
  if (row == nullptr || row->length != Length::kFixed || size < row->header) return false;
  Token t;
  t.kind = TokenKind::kCommand;
  t.offset = t.command_offset = offset_;
  t.bytes = std::span<const uint8_t>(bytes, row->header);
  t.row = NameCommand(row, t.bytes);
  offset_ += row->header;
  *i += row->header;
  sink.OnToken(t);
  return true;
}

void Tokenizer::HeaderByte(uint8_t b, TokenSink& sink) {
  cmd_.push_back(b);
  if (phase_ == Phase::kZeroEnded) {
    if (b == 0 && cmd_.size() > row_->header) {
      EmitCommand(sink, true);
      Reset();
    } else if (cmd_.size() > size_t{row_->header} + row_->limit) {
      Refuse(sink, Problem::kNoEndingZero,
             "command data without its ending zero byte within " + std::to_string(row_->limit) +
                 " bytes; dropped");
      Reset();
    }
    return;
  }
  if (row_ == nullptr) {
    bool more = false;
    row_ = MatchCommand(cmd_.data(), cmd_.size(), &more);
    if (row_ == nullptr) {
      if (!more) {
        Unknown(sink, start_, cmd_.size());
        Reset();
      }
      return;
    }
  }
  if (cmd_.size() == row_->header) HeaderDone(sink);
}

void Tokenizer::StartData(uint64_t size, TokenSink& sink) {
  phase_ = Phase::kData;
  left_ = size;
  cmd_.reserve(cmd_.size() + static_cast<size_t>(size));
  if (size == 0) DataDone(sink);
}

void Tokenizer::HeaderDone(TokenSink& sink) {
  const uint8_t* p = cmd_.data();
  switch (row_->length) {
    case Length::kFixed:
      EmitCommand(sink, true);
      Reset();
      return;
    case Length::kZeroEnded:
      phase_ = Phase::kZeroEnded;
      return;
    case Length::kCountByte:
      StartData(p[3], sink);
      return;
    case Length::kCount16:
      StartData(U16(p + 3), sink);
      return;
    case Length::kCount32: {
      const uint64_t size = U32(p + 3);
      if (size > kMaxGraphicsBytes) {
        Refuse(sink, Problem::kTooLarge,
               "GS 8 L of " + std::to_string(size) +
                   " bytes larger than the graphics memory; refused");
        Reset();
        return;
      }
      StartData(size, sink);
      return;
    }
    case Length::kRaster: {
      const uint64_t x = U16(p + 4), y = U16(p + 6);
      if (x == 0 || y == 0) {
        EmitCommand(sink, true);
        Reset();
        return;
      }
      if (x > kMaxRasterBytes || y > kMaxRasterRows) {
        Refuse(sink, Problem::kTooLarge,
               "GS v 0 of " + std::to_string(x) + " x " + std::to_string(y) +
                   " bytes larger than the image memory; refused");
        Reset();
        return;
      }
      parts_ = static_cast<int>(y);
      row_bytes_ = x;
      EmitCommand(sink, false);
      StartPart(sink);
      return;
    }
    case Length::kRamLogo: {
      const int x = p[2], y = p[3];
      const uint64_t size = uint64_t{p[2]} * p[3] * 8;
      if (x == 0 || y == 0 || x > kRamLogoMaxX || y > kRamLogoMaxY || x * y > kRamLogoMaxXY) {
        Refuse(sink, Problem::kSkipped,
               "GS * " + std::to_string(x) + " x " + std::to_string(y) +
                   " larger than the RAM logo memory; refused");
        phase_ = Phase::kSkip;
        left_ = size;
        if (size == 0) DataDone(sink);
        return;
      }
      StartData(size, sink);
      return;
    }
    case Length::kBitImage: {
      const uint8_t m = p[2];
      if (m != 0 && m != 1 && m != 32 && m != 33) {
        Refuse(sink, Problem::kBadMode, "ESC * with mode " + std::to_string(m) + "; ignored");
        Unknown(sink, start_, cmd_.size());
        Reset();
        return;
      }
      StartData(U16(p + 3) * (m >= 32 ? 3 : 1), sink);
      return;
    }
    case Length::kFlashLogos:
      parts_ = p[2];
      flash_used_ = 0;
      EmitCommand(sink, parts_ == 0);
      if (parts_ == 0) {
        Reset();
      } else {
        StartPart(sink);
      }
      return;
    case Length::kUserChars:
      char_rows_ = p[2];
      parts_ = p[4] >= p[3] ? p[4] - p[3] + 1 : 0;
      EmitCommand(sink, parts_ == 0);
      if (parts_ == 0) {
        Reset();
      } else {
        StartPart(sink);
      }
      return;
  }
}

void Tokenizer::StartPart(TokenSink& sink) {
  ++part_;
  cmd_.clear();
  part_offset_ = offset_;
  skipped_part_ = false;
  if (row_->length == Length::kRaster) {
    StartData(row_bytes_, sink);
  } else {
    left_ = 0;
    phase_ = Phase::kPartHead;
  }
}

void Tokenizer::PartHeadDone(TokenSink& sink) {
  const uint8_t* p = cmd_.data();
  if (row_->length == Length::kUserChars) {
    StartData(uint64_t{char_rows_} * p[0], sink);
    return;
  }
  const uint64_t x = U16(p), y = U16(p + 2);
  const uint64_t size = x * y * 8;
  const std::string what = "FS q image " + std::to_string(part_) + " (" + std::to_string(x) +
                           " x " + std::to_string(y) + ")";
  if (x < 1 || x > kFlashMaxX || y < 1 || y > kFlashMaxY) {
    Refuse(sink, Problem::kImageOutOfRange, what + " out of range; the definition is refused");
    Reset();
    return;
  }
  if (flash_used_ + size > kFlashCapacity) {
    Refuse(sink, Problem::kImageTooLarge, what + " larger than the flash memory; refused");
    skipped_part_ = true;
    phase_ = Phase::kSkip;
    left_ = size;
    return;
  }
  flash_used_ += static_cast<size_t>(size);
  StartData(size, sink);
}

void Tokenizer::DataDone(TokenSink& sink) {
  if (HasParts(row_->length)) {
    const bool last = part_ == parts_;
    EmitCommand(sink, last);
    if (last) {
      Reset();
    } else {
      StartPart(sink);
    }
    return;
  }
  if (phase_ == Phase::kData) EmitCommand(sink, true);
  Reset();
}

void Tokenizer::Finish(TokenSink& sink) {
  switch (phase_) {
    case Phase::kIdle:
      return;
    case Phase::kHeader:
    case Phase::kZeroEnded:
      Refuse(sink, Problem::kCutShort, "command cut short by the end of the input");
      Unknown(sink, start_, cmd_.size());
      break;
    case Phase::kPartHead:
    case Phase::kData:
    case Phase::kSkip:
      Refuse(sink, Problem::kDataCutShort, "image or data cut short by the end of the input");
      break;
  }
  Reset();
}

}  // namespace tillvane::protocol
