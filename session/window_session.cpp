#include "session/window_session.h"

#include <array>

#include "base/message_sink.h"
#include "commands/posfun.h"
#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "link/network_link.h"
#include "link/parallel_port.h"
#include "link/print_queue.h"
#include "link/serial_port.h"
#include "link/usb_link.h"
#include "link/virtual_link.h"
#include "session/jobs.h"

namespace tillvane {
namespace {

using Receipt = int32_t (*)(int32_t cutter_mode);

// The layouts of one demo receipt; the second pair is null for a single receipt.
struct DemoLayouts {
  DemoReceipt receipt;
  Receipt wide;
  Receipt narrow;
  Receipt wide_second = nullptr;
  Receipt narrow_second = nullptr;
};

constexpr std::array kDemoLayouts = {
    DemoLayouts{DemoReceipt::Sample, SampleTicket, SampleTicket56},
    DemoLayouts{DemoReceipt::LogoBar, LogoTicket, LogoTicket56, FontBarcodeTicket,
                FontBarcodeTicket56},
    DemoLayouts{DemoReceipt::TwoPart, TwoPartTicket, TwoPartTicket56},
    DemoLayouts{DemoReceipt::CleanReceipt, CleanReceiptTicket, CleanReceiptTicket56},
    DemoLayouts{DemoReceipt::Atm, AtmTicket, AtmTicket56},
    DemoLayouts{DemoReceipt::Account, AccountTicket, AccountTicket56},
    DemoLayouts{DemoReceipt::WideAccount, WideAccountTicket, WideAccountTicket56},
};

const DemoLayouts* FindLayouts(DemoReceipt receipt) {
  for (const DemoLayouts& l : kDemoLayouts) {
    if (l.receipt == receipt) return &l;
  }
  return nullptr;
}

}  // namespace

void ResetSession() {
  ResetLinkState();
}

bool LoadUsbSupport() {
  return LoadUsbLibrary();
}

std::vector<std::string> UsbDeviceLabels() {
  std::vector<std::string> labels;
  ListUsbDevices(labels);
  return labels;
}

std::vector<std::string> PrintQueueNames(const std::string& base_driver_name) {
  std::vector<std::string> names;
  ListPrintQueues(base_driver_name, names);
  return names;
}

int32_t OpenLinkKind() {
  return Links().LinkKind;
}

bool VirtualPrinterInForce() {
  return VirtualPrinterOfLink() != nullptr && Links().LinkKind == LinkVirtual;
}

void KeepPrintToFileForLogoDownload() {
  jobs::PrintToFileToRestore() = Links().PrintToFile.load();
}

void CloseSession() {
  CloseVirtualLink();
  CloseSerialPort();
  CloseNetworkPrinter();
  if (Links().LinkKind == LinkParallel) {
    CloseParallel();
  } else if (Links().LinkKind == LinkPrintQueue) {
    CloseQueue();
  }
  Links().LinkKind = LinkNone;
  UnloadUsbLibrary();
}

void PrintDemoReceipt(DemoReceipt receipt, bool print_to_file, int32_t cutter_mode) {
  const DemoLayouts* layouts = FindLayouts(receipt);
  if (layouts == nullptr) return;
  Links().PrintToFile = print_to_file;
  if (!StartJobDocument()) return;
  const bool narrow = PaperWidth() == kNarrowPaperWidth;
  const Receipt first = narrow ? layouts->narrow : layouts->wide;
  const Receipt second = narrow ? layouts->narrow_second : layouts->wide_second;
  int32_t result = first(cutter_mode);
  if (result == 0 && second != nullptr) result = second(cutter_mode);
  if (result != 0) ShowMessage(kSendFailedMessage);
  // A document that failed on the print queue was ended by its failed write, which
  // closed the queue; one ended by an exception is ended here.
  EndJobDocument();
}

}  // namespace tillvane
