// The virtual printer's reading of its input: bytes, in any split into calls, cut into
// text, complete commands and the data that follows some commands. It knows each
// command's length and nothing of what it does: complete commands go to RunCommand,
// complete data to CompletePayload (handlers.h), characters to the machine's
// PrintSingle and PrintDouble.
//
// Internal to render/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/machine.h"

namespace tillvane::render {

class Parser {
 public:
  void Feed(Machine& m, const uint8_t* bytes, size_t size);
  // End of the input: what is cut short is reported, then the machine finishes.
  void Finish(Machine& m);

 private:
  void Byte(Machine& m, uint8_t b);
  // The length of the command whose first bytes are in `cmd_`: the count it needs to
  // be complete (more than cmd_.size() while it is not), kUntilNul, or kUnknown.
  size_t HeaderLength() const;
  void Execute(Machine& m);
  // Takes the data the machine asks for next; data of no bytes completes at once.
  void TakePayload(Machine& m);

  uint64_t offset_ = 0;       // of the next byte
  uint64_t cmd_offset_ = 0;   // of the first byte of `cmd_`
  std::vector<uint8_t> cmd_;  // the command header gathered so far
  int gbk_lead_ = -1;         // a double-byte lead waiting for its trail
  uint64_t gbk_offset_ = 0;
  Payload payload_ = Payload::kNone;
  uint64_t payload_left_ = 0;  // bytes still to come
  bool payload_collect_ = false;
  std::vector<uint8_t> payload_bytes_;
};

}  // namespace tillvane::render
