// Fuzz target: the tokenizer of the command language on any bytes.
// Byte 0 chooses how the rest is cut into calls (bits 0-2: slices of 1, 2, 3, 5, 8, 13,
// 64 bytes or all at once); the rest is the input. The tokens must cover the input in
// order, never reach past it, and keep within the printer's limits.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "protocol/control_bytes.h"
#include "protocol/limits.h"
#include "protocol/tokenizer.h"

namespace {

using namespace tillvane::protocol;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

struct Checker : TokenSink {
  const uint8_t* input = nullptr;
  uint64_t size = 0;
  uint64_t next = 0;     // the lowest offset the next token may start at
  bool in_part = false;  // a command handed out in parts is open
  void OnToken(const Token& t) override {
    const uint64_t length = t.kind == TokenKind::kUnknown ? t.count : t.bytes.size();
    Check(t.offset + length <= size, "tokens end inside the input");
    Check(t.offset >= t.command_offset, "a part lies after its command's start");
    switch (t.kind) {
      case TokenKind::kText:
        Check(!in_part, "no text inside a command");
        Check(t.offset >= next, "text comes in order");
        for (size_t i = 0; i < t.bytes.size(); ++i) {
          Check(IsTextByte(t.bytes[i]), "text runs hold text bytes");
          Check(t.bytes[i] == input[t.offset + i], "text bytes are the input's");
        }
        next = t.offset + length;
        break;
      case TokenKind::kCommand:
        Check(t.row != nullptr, "commands have their row");
        Check(t.offset >= next, "commands come in order");
        Check(t.bytes.size() <= kMaxGraphicsBytes + 16, "commands are bounded");
        for (size_t i = 0; i < t.bytes.size(); ++i)
          Check(t.bytes[i] == input[t.offset + i], "command bytes are the input's");
        if (t.part == 0) Check(t.bytes.size() >= t.row->header, "a whole header");
        in_part = !t.last;
        next = t.offset + length;
        break;
      case TokenKind::kUnknown:
        Check(t.count > 0, "unknown runs are not empty");
        in_part = false;
        next = std::max(next, t.offset + length);
        break;
      case TokenKind::kRefused:
        Check(!t.note.empty(), "refusals say why");
        in_part = false;
        break;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr size_t kSlices[8] = {1, 2, 3, 5, 8, 13, 64, 0};
  const size_t slice = kSlices[data[0] & 7];
  Checker checker;
  checker.input = data + 1;
  checker.size = size - 1;
  Tokenizer tokenizer;
  const size_t n = size - 1;
  if (slice == 0) {
    tokenizer.Feed(data + 1, n, checker);
  } else {
    for (size_t i = 0; i < n; i += slice)
      tokenizer.Feed(data + 1 + i, n - i < slice ? n - i : slice, checker);
  }
  Check(tokenizer.offset() == n, "every byte taken");
  tokenizer.Finish(checker);
  Check(tokenizer.idle(), "idle after the end");
  return 0;
}
