// Answers on the back channel: real-time status (DLE EOT), printer IDs (GS I) and
// transmitted status (GS r).
#include <string>

#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {

void Machine::StatusReply(uint8_t n, uint64_t at) {
  switch (n) {
    case 1:  // printer
      Reply(static_cast<uint8_t>(0x12 | (status.offline ? 0x08 : 0)));
      break;
    case 2:  // offline causes
      Reply(static_cast<uint8_t>(0x12 | (status.cover_open ? 0x04 : 0) |
                                 (status.paper_out ? 0x20 : 0)));
      break;
    case 3:  // errors
      Reply(0x12);
      break;
    case 4:  // paper sensors
      Reply(static_cast<uint8_t>(0x12 | (status.paper_near_end ? 0x0C : 0) |
                                 (status.paper_out ? 0x60 : 0)));
      break;
    default:
      Refuse(at, "DLE EOT " + std::to_string(n) + " has no answer");
      break;
  }
}

void DleStatus(Machine& m, const Command& c) {
  // A receive buffer in front of the printer has answered the request as it arrived.
  if (!m.options.answer_realtime && c[2] >= 1 && c[2] <= 4) return;
  m.StatusReply(c[2], c.offset);
}

void GsPrinterId(Machine& m, const Command& c) {
  switch (c[2]) {
    case 1:
    case '1':
      m.Reply(0x20);
      break;
    case 2:
    case '2':
      m.Reply(0x02);
      break;
    case 3:
    case '3':
      m.Reply(0x64);
      break;
    default:
      break;
  }
}

void GsStatus(Machine& m, const Command& c) {
  switch (c[2]) {
    case 1:
    case '1':
      m.Reply(static_cast<uint8_t>((m.status.paper_near_end ? 0x03 : 0) |
                                   (m.status.paper_out ? 0x0C : 0)));
      break;
    case 2:
    case '2':
    case 4:
    case '4':
      m.Reply(0x00);
      break;
    default:
      m.Refuse(c.offset, "GS r " + std::to_string(c[2]) + " has no answer");
      break;
  }
}

}  // namespace tillvane::render
