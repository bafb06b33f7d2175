// The virtual printer's reading of its input: the protocol's tokenizer cuts the bytes,
// in any split into calls, into text, commands and what it refuses; this hands the
// commands to RunCommand (handlers.h), pairs the text into single- and double-byte
// (GBK) characters for the machine's PrintSingle and PrintDouble, and reports the
// rest.
//
// Internal to render/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

  Machine& m_;
  protocol::Tokenizer tokenizer_;
  int gbk_lead_ = -1;  // a double-byte lead waiting for its trail
  uint64_t gbk_offset_ = 0;
};

}  // namespace tillvane::render
