#include "session/link_kinds.h"

#include <array>

#include "base/log.h"
#include "commands/posfun.h"
#include "commands/status_query.h"
#include "config/current_model.h"
#include "config/models.h"
#include "link/network_link.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "link/print_queue.h"
#include "link/serial_port.h"
#include "link/usb_link.h"
#include "link/virtual_link.h"
#include "render/page.h"
#include "session/printer_actions.h"

namespace tillvane {
namespace {

// The reason of a failed send on the link being proven, or `otherwise` when the link
// has nothing to say.
std::string SendFailure(const char* what, const char* otherwise = "the link took no byte") {
  std::string reason = LinkFailureReason();
  return std::string(what) + ": " + (reason.empty() ? otherwise : reason);
}

// Serial --------------------------------------------------------------------------

LinkStep OpenSerial(const LinkChoice& choice) {
  SerialSettings settings;
  static_cast<SerialLine&>(settings) = choice.serial;
  settings.device = PortDevicePath(choice.com_port);
  if (settings.device.empty()) {
    // Not a port name of the list: nothing is opened, as for a device that is missing.
    CloseSerialPort();
    return LinkStep::Failed("\"" + choice.com_port + "\" is no serial port name");
  }
  if (OpenSerialPort(settings)) return LinkStep::Done();
  return LinkStep::Failed(choice.com_port + ": " + LastSerialOpenError());
}

// A status request that got no byte back: the failed send's reason, or the silence.
LinkStep NoAnswer(uint32_t waited_ms) {
  const std::string reason = LinkFailureReason();
  return LinkStep::Failed(reason.empty() ? "no answer to the status request (GS r 1) within " +
                                               std::to_string(waited_ms) + " ms"
                                         : "status request (GS r 1): " + reason);
}

// The status request, then a line feed; with both passed the port gets the write
// deadline for use.
LinkStep ProveSerial() {
  std::optional<uint8_t> answer;
  if (TestSerialCommunication(&answer) != 0) return NoAnswer(kSerialAnswerTimeoutMs);
  if (PrintAndLineFeed() != 0) return LinkStep::Failed(SendFailure("line feed"));
  SetSerialTimeoutsForUse();
  return LinkStep::Answered(answer);
}

// Parallel ------------------------------------------------------------------------

LinkStep OpenParallelPort(const LinkChoice& choice) {
  // Restoring the driver files is worth a line in the log when it fails; the opening
  // goes on all the same.
  if (InstallDriverFiles() == 0) {
    LogWarning(LogCategory::Link,
               "InstallDriverFiles: the port I/O driver files could not be restored beside the "
               "registered driver; opening the parallel port all the same");
  }
  const int32_t i = choice.lpt_index;
  if (i < 0 || i > 3) return LinkStep::Failed("no parallel port chosen");
  const std::string port = "LPT" + std::to_string(i + 1);
  // LPT3 and LPT4 have no base address: refused, so that no port below 3 is ever
  // touched.
  if (kLptBaseTable[i] == 0) return LinkStep::Failed(port + " has no I/O base address");
  // The device behind the port's registers, as the Ports section maps it.
  SetPortIoDevicePath(kLptBaseTable[i], PortDevicePath(port));
  if (OpenParallel(static_cast<uint8_t>(i + 1), kLptBaseTable[i]) != 0) {
    return LinkStep::Failed(port + ": " + PortIoFailureReason());
  }
  return LinkStep::Done();
}

LinkStep ProveByLineFeed() {
  if (PrintAndLineFeed() != 0) return LinkStep::Failed(SendFailure("line feed"));
  return LinkStep::Done();
}

// Print queue ---------------------------------------------------------------------

LinkStep OpenQueue(const LinkChoice& choice) {
  std::string reason;
  if (OpenPrintQueue(choice.queue_name, &reason)) return LinkStep::Done();
  return LinkStep::Failed(reason);
}

// A queue that opens counts as working: the line feed is one document of its own, and
// its results are only logged.
LinkStep ProveQueue() {
  const bool started = StartJobDocument();
  const bool fed = PrintAndLineFeed() == 0;
  EndJobDocument();
  if (!started || !fed || !QueueOpen()) {
    LogWarning(LogCategory::Link, SendFailure("print queue: the opening line feed was not printed",
                                              "the queue was closed"));
  }
  return LinkStep::Done();
}

// USB -----------------------------------------------------------------------------

LinkStep OpenUsb(const LinkChoice& choice) {
  std::string reason;
  if (OpenUsbDevice(choice.usb_device, &reason)) return LinkStep::Done();
  return LinkStep::Failed(reason);
}

// Virtual printer ------------------------------------------------------------------

// Paper as wide as the model's: narrow paper for a 56 mm model, 80 mm otherwise.
LinkStep OpenVirtual(const LinkChoice&) {
  const int dots = PaperWidth() == kNarrowPaperWidth ? render::kDotsNarrow : render::kDots80mm;
  std::string reason;
  if (OpenVirtualLink(dots, &reason)) return LinkStep::Done();
  return LinkStep::Failed(reason);
}

// As on the serial link: the printer answers the status request, then takes a line
// feed.
LinkStep ProveVirtual() {
  std::optional<uint8_t> answer;
  if (TestCommunication(&answer) != 0) return NoAnswer(kCommunicationAnswerMs);
  if (PrintAndLineFeed() != 0) return LinkStep::Failed(SendFailure("line feed"));
  return LinkStep::Answered(answer);
}

// Network printer -----------------------------------------------------------------

LinkStep OpenNetwork(const LinkChoice& choice) {
  if (OpenNetworkPrinter(choice.network_address, choice.network_timeouts)) return LinkStep::Done();
  return LinkStep::Failed(LastNetworkOpenError().Message());
}

// As on the serial link: the status request with its answer wait, then a line feed.
LinkStep ProveNetwork() {
  std::optional<uint8_t> answer;
  if (TestCommunication(&answer, kCommunicationAnswerMs) != 0)
    return NoAnswer(kCommunicationAnswerMs);
  if (PrintAndLineFeed() != 0) return LinkStep::Failed(SendFailure("line feed"));
  return LinkStep::Answered(answer);
}

constexpr int32_t kByteByByte = 1;
constexpr int32_t kUsbJobBlock = 1024;
constexpr int32_t kNetworkJobBlock = 4096;

constexpr std::array kRows = {
    LinkKindRow{LinkSerial, "serial", OpenSerial, ProveSerial, kSerialOpenFailed, true,
                kPortTestFailed, kByteByByte, false, OPERATOR_TEXT("Operator", "串口")},
    LinkKindRow{LinkParallel, "parallel", OpenParallelPort, ProveByLineFeed, kParallelOpenFailed,
                false, kPortTestFailed, kByteByByte, false, OPERATOR_TEXT("Operator", "并口")},
    LinkKindRow{LinkUsb, "USB", OpenUsb, ProveByLineFeed, kUsbPortOpenFailed, false,
                kPortTestFailed, kUsbJobBlock, false, OPERATOR_TEXT("Operator", "USB接口")},
    LinkKindRow{LinkPrintQueue, "print queue", OpenQueue, ProveQueue, nullptr, false,
                kPortTestFailed, kByteByByte, false, OPERATOR_TEXT("Operator", "打印机驱动")},
    LinkKindRow{LinkVirtual, "virtual printer", OpenVirtual, ProveVirtual, kVirtualOpenFailed,
                false, kPortTestFailed, kByteByByte, false,
                OPERATOR_TEXT("Operator", "虚拟打印机")},
    LinkKindRow{LinkNetwork, "network", OpenNetwork, ProveNetwork, kNetworkOpenFailed, true,
                kPortTestFailed, kNetworkJobBlock, true, OPERATOR_TEXT("Operator", "网络打印机")},
};

}  // namespace

std::span<const LinkKindRow> LinkKinds() {
  return kRows;
}

const LinkKindRow* FindLinkKind(int32_t kind) {
  for (const LinkKindRow& row : kRows) {
    if (row.kind == kind) return &row;
  }
  return nullptr;
}

int32_t JobBlockSize(int32_t kind) {
  const LinkKindRow* row = FindLinkKind(kind);
  return row != nullptr ? row->job_block_size : 0;
}

}  // namespace tillvane
