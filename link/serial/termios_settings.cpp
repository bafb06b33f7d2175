#include "link/serial/termios_settings.h"

#include <sys/ioctl.h>

#include <string>

namespace tillvane::serial {
namespace {

template <class Enum>
SerialError Refused(const char* what, Enum value) {
  SerialError e;
  e.kind = SerialErrorKind::InvalidSetting;
  e.operation = "line settings";
  e.detail = std::string(what) + " " + std::to_string(static_cast<int32_t>(value));
  return e;
}

}  // namespace

std::optional<speed_t> SpeedForBaud(BaudRate baud) {
  switch (static_cast<int32_t>(baud)) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return std::nullopt;
  }
}

std::optional<tcflag_t> CharSizeForDataBits(DataBits bits) {
  switch (static_cast<int32_t>(bits)) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    case 8:
      return CS8;
    default:
      return std::nullopt;
  }
}

SerialError FillLinePlan(const SerialSettings& settings, const termios& current, LinePlan* plan) {
  const std::optional<speed_t> speed = SpeedForBaud(settings.baud_rate);
  if (!speed) return Refused("baud rate", settings.baud_rate);
  const std::optional<tcflag_t> size = CharSizeForDataBits(settings.data_bits);
  if (!size) return Refused("data bits", settings.data_bits);
  if (settings.parity != Parity::None && settings.parity != Parity::Odd &&
      settings.parity != Parity::Even)
    return Refused("parity choice", settings.parity);
  if (settings.flow != FlowControl::XonXoff && settings.flow != FlowControl::DtrDsr)
    return Refused("flow control choice", settings.flow);

  LinePlan out;
  termios& t = out.tio;
  t = current;
  // Binary mode: no line editing, no echo, no signals, no translation of CR/LF, no
  // stripping of the eighth bit, no output processing.
  cfmakeraw(&t);
  cfsetispeed(&t, *speed);
  cfsetospeed(&t, *speed);

  t.c_cflag &= ~CSIZE;
  t.c_cflag |= *size;
  // One stop bit, or else two (never one and a half).
  if (settings.stop_bits == StopBits::One) {
    t.c_cflag &= ~CSTOPB;
  } else {
    t.c_cflag |= CSTOPB;
  }
  // No modem control for the carrier (DCD), and the receiver on: the communication
  // test reads the printer's reply.
  t.c_cflag |= CLOCAL | CREAD;

  // The cleared state first: no parity, no flow control of any kind.
  t.c_cflag &= ~(PARENB | PARODD | CRTSCTS);
  t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);

  // Reads return at once with what is buffered.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;

  if (settings.flow == FlowControl::XonXoff) {
    // Software flow control both ways. Only XON restarts output (no IXANY): a status
    // byte from the printer must not override its XOFF.
    t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = kXon;
    t.c_cc[VSTOP] = kXoff;
    out.drop_lines = TIOCM_DTR | TIOCM_RTS;
  } else {
    // Output waits on CTS (the driver) and on DSR (the link, before each write). DTR
    // and RTS are held on without handshake.
    t.c_cflag |= CRTSCTS;
    out.raise_lines = TIOCM_DTR | TIOCM_RTS;
    out.wait_dsr = true;
  }

  // Parity checking with replacement of bad bytes: with INPCK on and both IGNPAR and
  // PARMRK off, Linux delivers a byte received with a parity or framing error as NUL.
  // That is the counterpart of replacing it with the device's error character, which
  // termios does not let us choose.
  if (settings.parity == Parity::Odd) {
    t.c_cflag |= PARENB | PARODD;
    t.c_iflag |= INPCK;
    t.c_iflag &= ~(IGNPAR | PARMRK);
  } else if (settings.parity == Parity::Even) {
    t.c_cflag |= PARENB;
    t.c_iflag |= INPCK;
    t.c_iflag &= ~(IGNPAR | PARMRK);
  }

  *plan = out;
  return {};
}

}  // namespace tillvane::serial
