// The virtual printer's reading of its input: the protocol's tokenizer cuts the bytes,
// in any split into calls, into text, commands and what it refuses; this hands the
// commands to RunCommand (handlers.h), pairs the text into single- and double-byte
// (GBK) characters for the machine's PrintSingle and PrintDouble, and reports the
// rest. It also keeps the macro (GS : ... GS :) as the bytes of its commands and text,
// and replays it for GS ^ through a tokenizer of its own.
//
// Internal to render/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/tokenizer.h"
#include "render/machine.h"

namespace tillvane::render {

class Parser final : private protocol::TokenSink {
 public:
  explicit Parser(Machine& m) : m_(m) {}

  void Feed(const uint8_t* bytes, size_t size);
  // End of the input: what is cut short is reported, then the machine finishes.
  void Finish();

 private:
  void OnToken(const protocol::Token& t) override;
  void Text(std::span<const uint8_t> text, uint64_t offset);
  void Refused(const protocol::Token& t);
  // A double-byte lead that got no trail is a byte of nothing.
  void DropLead();
  void Unknown(uint64_t at, uint64_t count);
  // GS : and GS ^; false for any other command.
  bool Macro(const protocol::Token& t);
  void Record(const protocol::Token& t);

  Machine& m_;
  protocol::Tokenizer tokenizer_;
  int gbk_lead_ = -1;  // a double-byte lead waiting for its trail
  uint64_t gbk_offset_ = 0;
  // The macro: the bytes defined, the definition in progress, and while it is replayed
  // the offset of the GS ^ that runs it, which its reports name.
  std::vector<uint8_t> macro_;
  bool defining_ = false;
  bool dropped_ = false;  // the definition in progress went past what a macro holds
  bool replaying_ = false;
  uint64_t replay_offset_ = 0;
  uint64_t replayed_ = 0;  // macro bytes replayed so far
};

}  // namespace tillvane::render
