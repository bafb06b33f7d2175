#include "link/link.h"

namespace tillvane {
namespace {

constexpr AbsentLink kAbsent[] = {
    {LinkKind::None, "no link is open", false, false},
    {LinkKind::Parallel, "the port I/O library is not loaded", false, true},
    {LinkKind::Serial, "no serial device is open", false, false},
    {LinkKind::PrintQueue, "the print queue was closed after a failure", true, false},
    {LinkKind::Usb, "no USB device is open", false, false},
    {LinkKind::Network, "no network printer is connected", false, false},
    {LinkKind::Virtual, "the virtual printer is closed", false, false},
};

}  // namespace

const AbsentLink& AbsentLinkOf(LinkKind kind) {
  for (const AbsentLink& row : kAbsent) {
    if (row.kind == kind) return row;
  }
  return kAbsent[0];
}

}  // namespace tillvane
