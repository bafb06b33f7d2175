// The serial link: a COM port opened on its mapped device with the line settings of
// the port page.
#pragma once

#include <cstdint>
#include <string>

namespace tillvane {

// The line settings, as typed values. The port page offers the rates 1200 to 115200
// and 8 data bits; a value outside an enum's list (cast in) is refused by the
// opening as a setting the link cannot take.
enum class BaudRate : int32_t {
  Baud1200 = 1200,
  Baud2400 = 2400,
  Baud4800 = 4800,
  Baud9600 = 9600,
  Baud19200 = 19200,
  Baud38400 = 38400,
  Baud57600 = 57600,
  Baud115200 = 115200,
};
enum class DataBits : int32_t { Five = 5, Six = 6, Seven = 7, Eight = 8 };
enum class StopBits : int32_t { One, Two };
enum class Parity : int32_t { None, Odd, Even };
enum class FlowControl : int32_t { XonXoff, DtrDsr };

struct SerialLine {
  BaudRate baud_rate = BaudRate::Baud9600;
  DataBits data_bits = DataBits::Eight;
  StopBits stop_bits = StopBits::One;
  Parity parity = Parity::None;
  FlowControl flow = FlowControl::DtrDsr;
};

struct SerialSettings : SerialLine {
  std::string device;  // device path the COM name maps to, e.g. /dev/ttyS0
};

// Closes an open serial link, opens the device exclusively and configures it, with
// the write deadline of opening (1000 ms per byte + 200). On failure after the open,
// the device stays the open link.
[[nodiscard]] bool OpenSerialPort(const SerialSettings& settings);

// The write deadline for use after a passed communication test (1000 ms per byte +
// 1000).
void SetSerialTimeoutsForUse();

// Closes the serial link when one is open.
void CloseSerialPort();

// Why the last OpenSerialPort failed ("open /dev/ttyUSB0: Permission denied"), empty
// after a successful one. For a log or a detail line; the operator's message stays the
// port page's own.
std::string LastSerialOpenError();

}  // namespace tillvane
