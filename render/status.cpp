// Answers on the back channel: real-time status (DLE EOT), printer IDs (GS I) and
// transmitted status (GS r).
#include <string>

#include "protocol/status_bits.h"
#include "render/handlers.h"
#include "render/machine.h"

namespace tillvane::render {
namespace {

uint8_t If(bool on, uint8_t bit) {
  return on ? bit : 0;
}

}  // namespace

void Machine::StatusReply(uint8_t n, uint64_t at) {
  switch (n) {
    case protocol::kStatusPrinter:
      Reply(protocol::kStatusFixedSet | If(status.offline, protocol::kPrinterOffline));
      break;
    case protocol::kStatusOffline:
      Reply(protocol::kStatusFixedSet | If(status.cover_open, protocol::kOfflineCoverOpen) |
            If(status.paper_out, protocol::kOfflinePaperEnd));
      break;
    case protocol::kStatusError:  // the virtual printer has none
      Reply(protocol::kStatusFixedSet);
      break;
    case protocol::kStatusPaper:
      Reply(protocol::kStatusFixedSet | If(status.paper_near_end, protocol::kPaperNearEnd) |
            If(status.paper_out, protocol::kPaperEnd));
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
      m.Reply(protocol::kIdentityModel);
      break;
    case 2:
    case '2':
      m.Reply(protocol::kIdentityType);
      break;
    case 3:
    case '3':
      m.Reply(protocol::kIdentityVersion);
      break;
    default:
      break;
  }
}

void GsStatus(Machine& m, const Command& c) {
  switch (c[2]) {
    case 1:
    case '1':
      m.Reply(If(m.status.paper_near_end, protocol::kPaperSensorNearEnd) |
              If(m.status.paper_out, protocol::kPaperSensorOut));
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
