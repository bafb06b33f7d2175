// The serial link: a COM port opened on its mapped device with the line settings of
// the port page.
#pragma once

#include <string>

namespace tillvane {

struct SerialSettings {
  std::string device;      // device path the COM name maps to, e.g. /dev/ttyS0
  int baud_rate = 9600;    // text of cboBaudrate
  int data_bits = 8;       // text of cboDatabit
  int stop_bit_index = 0;  // cboStopbit: 0 "1", 1 "2"
  int parity_index = 0;    // cboVerify: 0 "None", 1 "Odd", 2 "Even"
  int flow_index = 1;      // cboFlowControl: 0 "Xon/Xoff", 1 "DTR/DSR"
};

// Closes a valid SerialHandle, opens the device exclusively and configures it, with
// the write deadline of opening (1000 ms per byte + 200). On failure after the open,
// the device stays open in SerialHandle.
bool OpenSerialPort(const SerialSettings& settings);

// The write deadline for use after a passed communication test (1000 ms per byte +
// 1000).
void SetSerialTimeoutsForUse();

// Closes SerialHandle when it is valid.
void CloseSerialPort();

// Why the last OpenSerialPort failed ("open /dev/ttyUSB0: Permission denied"), empty
// after a successful one. For a log or a detail line; the operator's message stays the
// port page's own.
std::string LastSerialOpenError();

}  // namespace tillvane
