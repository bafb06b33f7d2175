// A streaming tokenizer of the printer's byte command language, over the command
// table. Bytes go in, in any split into calls; tokens come out through a sink, in the
// order of the input:
//
//  - text: a run of text bytes (SP and above, except DEL), with its offset. A run is
//    handed out in pieces where a call ends.
//  - command: one command of the table, whole: its row (the most specific one, see
//    NameCommand), its offset and all its bytes, header and data. Commands whose data
//    is made of parts are handed out part by part: first the header (part 0), then
//    each part: an FS q image (xL xH yL yH and its data), an ESC & character (x and its
//    data), a GS v 0 row (its x bytes). `last` marks the token that completes the
//    command.
//  - unknown: bytes of no command the printer knows (offset, count).
//  - refused: a command refused for its size or its form (offset, reason, note), as
//    the printer refuses it; what it says happens next is in `Problem`.
//
// Every token's bytes stay valid until the sink returns. The tokenizer never reads past
// what it was given, and holds at most one command's data, bounded by the printer's
// memories (limits.h): data longer than those is passed over by its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/command_table.h"

namespace tillvane::protocol {

enum class TokenKind : uint8_t { kText, kCommand, kUnknown, kRefused };

// Why a command was refused, and what became of it.
enum class Problem : uint8_t {
  kNone,
  kTooLarge,         // its header claims more than the printer takes: the header is
                     // dropped and what follows is read as commands again (GS v 0, GS 8 L)
  kSkipped,          // too large for the memory: its data is passed over (GS *)
  kBadMode,          // ESC * of an unknown mode: its header is also reported unknown
  kNoEndingZero,     // zero-ended data over its limit: dropped, read on from there
  kImageOutOfRange,  // an FS q image of an impossible size: the definition ends there
  kImageTooLarge,    // an FS q image beyond the flash memory: its data is passed over,
                     // its part comes with only its size header
  kCutShort,         // the input ended within a command's header (also reported unknown)
  kDataCutShort,     // the input ended within a command's data
};

struct Token {
  TokenKind kind = TokenKind::kText;
  uint64_t offset = 0;          // of the token's first byte
  uint64_t command_offset = 0;  // of its command's first byte (commands and refusals)
  const CommandRow* row = nullptr;
  std::span<const uint8_t> bytes;  // text, or the command's (part's) bytes
  uint64_t count = 0;              // unknown: the bytes
  int part = 0;                    // command: 0 the header (or whole command), 1.. its parts
  bool last = true;                // command: this token completes it
  bool data_skipped = false;       // command part: its data was passed over (kImageTooLarge)
  Problem problem = Problem::kNone;
  std::string_view note;  // refused: what and why, for a report
};

class TokenSink {
 public:
  virtual void OnToken(const Token& token) = 0;

 protected:
  ~TokenSink() = default;
};

class Tokenizer {
 public:
  void Feed(const uint8_t* bytes, size_t size, TokenSink& sink);
  // End of the input: a command cut short is reported. Feeding may go on after it.
  void Finish(TokenSink& sink);
  // Bytes taken so far.
  uint64_t offset() const { return offset_; }
  // True between commands.
  bool idle() const { return phase_ == Phase::kIdle; }

 private:
  enum class Phase : uint8_t {
    kIdle,
    kHeader,     // gathering the fixed part
    kZeroEnded,  // gathering data up to a zero byte
    kData,       // gathering `left_` data bytes of the command or part
    kSkip,       // passing over `left_` data bytes
    kPartHead,   // gathering the head of the next part (FS q size, ESC & width)
  };

  bool FixedCommand(const uint8_t* bytes, size_t size, TokenSink& sink, size_t* i);
  void HeaderByte(uint8_t b, TokenSink& sink);
  void HeaderDone(TokenSink& sink);
  void DataDone(TokenSink& sink);
  void PartHeadDone(TokenSink& sink);
  void StartData(uint64_t size, TokenSink& sink);
  void StartPart(TokenSink& sink);
  void EmitCommand(TokenSink& sink, bool last);
  void Refuse(TokenSink& sink, Problem problem, std::string note);
  void Unknown(TokenSink& sink, uint64_t at, uint64_t count);
  void Reset();

  Phase phase_ = Phase::kIdle;
  uint64_t offset_ = 0;       // of the next byte
  uint64_t start_ = 0;        // of the command's first byte
  uint64_t part_offset_ = 0;  // of the current part's first byte
  const CommandRow* row_ = nullptr;
  std::vector<uint8_t> cmd_;   // the header, or the part, gathered so far
  uint64_t left_ = 0;          // data bytes still to come
  int part_ = 0;               // parts handed out
  int parts_ = 0;              // parts the command has (FS q n, ESC & c1..c2, GS v 0 y)
  size_t flash_used_ = 0;      // FS q: image data accepted in this definition
  bool skipped_part_ = false;  // FS q: the current image's data is passed over
  uint64_t row_bytes_ = 0;     // GS v 0: x
  uint8_t char_rows_ = 0;      // ESC &: y
  std::string note_;
};

}  // namespace tillvane::protocol
