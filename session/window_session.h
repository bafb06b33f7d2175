// What the window asks of the core besides opening a link (session/open_link.h), the
// printer actions (session/printer_actions.h) and the background jobs
// (session/starters.h): the link state at start-up and close, the lists the port page
// offers, and the demo receipts. The window reaches no link/ function but through here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tillvane {

// Start-up: no link, no serial port, the normal busy time-out, printing to file off.
void ResetSession();

// Loads the maker's USB library; false when it is not there (no USB link is offered).
[[nodiscard]] bool LoadUsbSupport();
// The labels of the USB printers the library finds, in device-number order; empty
// when none is found or the library is not loaded.
std::vector<std::string> UsbDeviceLabels();
// The print queues that take raw data, filtered by the model file's base driver name.
std::vector<std::string> PrintQueueNames(const std::string& base_driver_name);

// The link in force: a LinkKind value, LinkNone when none is open.
int32_t OpenLinkKind();
// The virtual printer is the link in force and has paper to show.
bool VirtualPrinterInForce();

// Before the logo page is shown: the print-to-file setting the logo download puts back
// when it ends.
void KeepPrintToFileForLogoDownload();

// The window's close, after every background job has ended: closes whichever link is
// open, leaves LinkNone and unloads the USB library.
void CloseSession();

// The receipts of the demo page. Each prints in its 80 mm layout, or its narrow one
// when the model's paper is 56 mm; LogoBar is two receipts, the logo one and then the
// font and bar code one.
enum class DemoReceipt : int32_t {
  Sample,
  LogoBar,
  TwoPart,
  CleanReceipt,
  Atm,
  Account,
  WideAccount,
};

// One demo click, with the sender gate already held by the caller: sets PrintToFile,
// frames the receipt as one print-queue document (nothing is sent when the queue is
// closed), prints with the cutter mode (0 full, 1 partial, 2 none) and shows the
// send-failure message when a receipt could not be sent. The second receipt of
// LogoBar is sent only after the first went through.
void PrintDemoReceipt(DemoReceipt receipt, bool print_to_file, int32_t cutter_mode);

}  // namespace tillvane
