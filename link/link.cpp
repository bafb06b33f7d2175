#include "link/link.h"

namespace tillvane {
namespace {

constexpr AbsentLink kAbsent[] = {
    {LinkKind::None, "no link is open", false},
    {LinkKind::Parallel, "the port I/O library is not loaded", false},
    {LinkKind::Serial, "no serial device is open", false},
    {LinkKind::PrintQueue, "the print queue was closed after a failure", true},
    {LinkKind::Usb, "no USB device is open", false},
    {LinkKind::Network, "no network printer is connected", false},
    {LinkKind::Virtual, "the virtual printer is closed", false},
};

}  // namespace

const AbsentLink& AbsentLinkOf(LinkKind kind) {
  for (const AbsentLink& row : kAbsent) {
    if (row.kind == kind) return row;
  }
  return kAbsent[0];
}

}  // namespace tillvane
