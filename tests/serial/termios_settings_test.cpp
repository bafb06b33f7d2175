// The line settings as termios fields, checked without a device.
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "link/serial/serial_error.h"
#include "link/serial/termios_settings.h"

namespace tillvane::serial {
namespace {

// A cooked terminal as a driver reports it, with every flag the link must clear set
// and a few fields the link must leave alone at unusual values.
termios Reported() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP | BRKINT | IMAXBEL;
  t.c_oflag = OPOST | ONLCR;
  t.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
  t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_line = 3;
  t.c_cc[VINTR] = 0x03;
  t.c_cc[VEOF] = 0x04;
  t.c_cc[VSTART] = 0x21;
  t.c_cc[VSTOP] = 0x23;
  t.c_cc[VMIN] = 5;
  t.c_cc[VTIME] = 7;
  cfsetispeed(&t, B300);
  cfsetospeed(&t, B300);
  return t;
}

SerialSettings Settings(int baud, int stop, int parity, int flow) {
  SerialSettings s;
  s.device = "/dev/null";
  s.baud_rate = static_cast<BaudRate>(baud);
  s.stop_bits = static_cast<StopBits>(stop);
  s.parity = static_cast<Parity>(parity);
  s.flow = static_cast<FlowControl>(flow);
  return s;
}

LinePlan Fill(const SerialSettings& s) {
  LinePlan plan;
  SerialError e = FillLinePlan(s, Reported(), &plan);
  EXPECT_TRUE(e.ok()) << e.Message();
  return plan;
}

TEST(SerialLineSettings, EveryOfferedBaudRateMapsToItsSpeed) {
  const std::pair<int, speed_t> rates[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                           {9600, B9600},   {19200, B19200},  {38400, B38400},
                                           {57600, B57600}, {115200, B115200}};
  for (auto [baud, speed] : rates) {
    LinePlan plan = Fill(Settings(baud, 0, 0, 1));
    EXPECT_EQ(cfgetospeed(&plan.tio), speed) << baud;
    EXPECT_EQ(cfgetispeed(&plan.tio), speed) << baud;
  }
}

TEST(SerialLineSettings, RefusedSettingsLeaveThePlanUntouched) {
  const SerialSettings refused[] = {
      Settings(0, 0, 0, 0),      Settings(-9600, 0, 0, 0), Settings(9601, 0, 0, 0),
      Settings(230400, 0, 0, 0), Settings(9600, 0, 3, 0),  Settings(9600, 0, -1, 0),
      Settings(9600, 0, 0, 2),   Settings(9600, 0, 0, -1),
  };
  for (const SerialSettings& s : refused) {
    LinePlan plan;
    plan.raise_lines = 0x5A;
    SerialError e = FillLinePlan(s, Reported(), &plan);
    EXPECT_EQ(e.kind, SerialErrorKind::InvalidSetting)
        << static_cast<int>(s.baud_rate) << " " << static_cast<int>(s.parity);
    EXPECT_EQ(plan.raise_lines, 0x5A);
    EXPECT_FALSE(e.Message().empty());
  }
  for (int bits : {0, 4, 9, 16}) {
    SerialSettings s = Settings(9600, 0, 0, 0);
    s.data_bits = static_cast<DataBits>(bits);
    LinePlan plan;
    EXPECT_EQ(FillLinePlan(s, Reported(), &plan).kind, SerialErrorKind::InvalidSetting) << bits;
  }
}

TEST(SerialLineSettings, DataBitsFiveToEight) {
  const std::pair<int, tcflag_t> sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
  for (auto [bits, size] : sizes) {
    SerialSettings s = Settings(9600, 0, 0, 0);
    s.data_bits = static_cast<DataBits>(bits);
    EXPECT_EQ(Fill(s).tio.c_cflag & CSIZE, size) << bits;
  }
}

TEST(SerialLineSettings, BinaryModeWithReceiverOnAndNoCarrierWait) {
  LinePlan plan = Fill(Settings(9600, 0, 0, 0));
  const termios& t = plan.tio;
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | ISTRIP | BRKINT), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(SerialLineSettings, FieldsOutsideTheLineSettingsKeepTheReportedValues) {
  const termios before = Reported();
  for (int flow : {0, 1}) {
    LinePlan plan = Fill(Settings(9600, 0, 1, flow));
    EXPECT_EQ(plan.tio.c_line, before.c_line);
    EXPECT_EQ(plan.tio.c_cc[VINTR], before.c_cc[VINTR]);
    EXPECT_EQ(plan.tio.c_cc[VEOF], before.c_cc[VEOF]);
    EXPECT_EQ(plan.tio.c_cflag & HUPCL, tcflag_t{HUPCL});
    EXPECT_EQ(plan.tio.c_iflag & IMAXBEL, tcflag_t{IMAXBEL});
  }
  // The software flow characters belong to the Xon/Xoff choice only.
  LinePlan dtr = Fill(Settings(9600, 0, 0, 1));
  EXPECT_EQ(dtr.tio.c_cc[VSTART], before.c_cc[VSTART]);
  EXPECT_EQ(dtr.tio.c_cc[VSTOP], before.c_cc[VSTOP]);
}

TEST(SerialLineSettings, StopBitsOneOrTwo) {
  EXPECT_EQ(Fill(Settings(9600, 0, 0, 0)).tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(Fill(Settings(9600, 1, 0, 0)).tio.c_cflag & CSTOPB, tcflag_t{CSTOPB});
}

TEST(SerialLineSettings, ParityNoneOddEven) {
  const termios none = Fill(Settings(9600, 0, static_cast<int>(Parity::None), 0)).tio;
  EXPECT_EQ(none.c_cflag & (PARENB | PARODD), 0u);
  EXPECT_EQ(none.c_iflag & INPCK, 0u);

  for (int parity : {static_cast<int>(Parity::Odd), static_cast<int>(Parity::Even)}) {
    const termios t = Fill(Settings(9600, 0, parity, 0)).tio;
    EXPECT_EQ(t.c_cflag & PARENB, tcflag_t{PARENB}) << parity;
    EXPECT_EQ(t.c_cflag & PARODD, parity == static_cast<int>(Parity::Odd) ? tcflag_t{PARODD} : 0u)
        << parity;
    EXPECT_EQ(t.c_iflag & INPCK, tcflag_t{INPCK}) << parity;
    // A byte with a parity error is delivered as NUL: neither ignored nor marked.
    EXPECT_EQ(t.c_iflag & (IGNPAR | PARMRK), 0u) << parity;
  }
}

TEST(SerialLineSettings, XonXoffIsSoftwareFlowWithTheLinesDropped) {
  LinePlan plan = Fill(Settings(9600, 0, 0, static_cast<int>(FlowControl::XonXoff)));
  EXPECT_EQ(plan.tio.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
  EXPECT_EQ(plan.tio.c_iflag & IXANY, 0u);  // only XON restarts output
  EXPECT_EQ(plan.tio.c_cc[VSTART], 0x11);
  EXPECT_EQ(plan.tio.c_cc[VSTOP], 0x13);
  EXPECT_EQ(plan.tio.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(plan.drop_lines, TIOCM_DTR | TIOCM_RTS);
  EXPECT_EQ(plan.raise_lines, 0);
  EXPECT_FALSE(plan.wait_dsr);
}

TEST(SerialLineSettings, DtrDsrWaitsOnCtsAndDsrWithTheLinesRaised) {
  LinePlan plan = Fill(Settings(9600, 0, 0, static_cast<int>(FlowControl::DtrDsr)));
  EXPECT_EQ(plan.tio.c_iflag & (IXON | IXOFF | IXANY), 0u);
  EXPECT_EQ(plan.tio.c_cflag & CRTSCTS, tcflag_t{CRTSCTS});
  EXPECT_EQ(plan.raise_lines, TIOCM_DTR | TIOCM_RTS);
  EXPECT_EQ(plan.drop_lines, 0);
  EXPECT_TRUE(plan.wait_dsr);
}

// Each choice sets its own fields only, whatever the other choices are.
TEST(SerialLineSettings, ChoicesAreIndependent) {
  const tcflag_t stop_bits = CSTOPB;
  const tcflag_t parity_c = PARENB | PARODD;
  const tcflag_t flow_i = IXON | IXOFF | IXANY;
  for (int baud : {1200, 57600})
    for (int stop : {0, 1})
      for (int parity : {0, 1, 2})
        for (int flow : {0, 1}) {
          SCOPED_TRACE(::testing::Message() << baud << " " << stop << " " << parity << " " << flow);
          const LinePlan all = Fill(Settings(baud, stop, parity, flow));
          const LinePlan stop_only = Fill(Settings(9600, stop, 0, 0));
          const LinePlan parity_only = Fill(Settings(9600, 0, parity, 0));
          const LinePlan flow_only = Fill(Settings(9600, 0, 0, flow));
          EXPECT_EQ(all.tio.c_cflag & stop_bits, stop_only.tio.c_cflag & stop_bits);
          EXPECT_EQ(all.tio.c_cflag & parity_c, parity_only.tio.c_cflag & parity_c);
          EXPECT_EQ(all.tio.c_iflag & INPCK, parity_only.tio.c_iflag & INPCK);
          EXPECT_EQ(all.tio.c_iflag & flow_i, flow_only.tio.c_iflag & flow_i);
          EXPECT_EQ(all.tio.c_cflag & CRTSCTS, flow_only.tio.c_cflag & CRTSCTS);
          EXPECT_EQ(all.raise_lines, flow_only.raise_lines);
          EXPECT_EQ(all.drop_lines, flow_only.drop_lines);
          EXPECT_EQ(all.tio.c_cflag & CSIZE, tcflag_t{CS8});
        }
}

TEST(SerialWriteDeadline, MultiplierTimesLengthPlusConstant) {
  EXPECT_EQ(WriteDeadlineMs(1000, 200, 0), 200u);
  EXPECT_EQ(WriteDeadlineMs(1000, 200, 3), 3200u);
  EXPECT_EQ(WriteDeadlineMs(1000, 1000, 1), 2000u);
  EXPECT_EQ(WriteDeadlineMs(1000, 1000, std::numeric_limits<int32_t>::max()),
            1000ull * std::numeric_limits<int32_t>::max() + 1000);
  EXPECT_EQ(WriteDeadlineMs(std::numeric_limits<uint32_t>::max(), 0, 2),
            2ull * std::numeric_limits<uint32_t>::max());
}

TEST(SerialErrors, ErrnoBecomesAKindAndAMessage) {
  EXPECT_EQ(KindFromErrno(ENOENT), SerialErrorKind::DeviceNotFound);
  EXPECT_EQ(KindFromErrno(ENXIO), SerialErrorKind::DeviceNotFound);
  EXPECT_EQ(KindFromErrno(EACCES), SerialErrorKind::PermissionDenied);
  EXPECT_EQ(KindFromErrno(EBUSY), SerialErrorKind::DeviceBusy);
  EXPECT_EQ(KindFromErrno(ENOTTY), SerialErrorKind::Unsupported);
  EXPECT_EQ(KindFromErrno(EIO), SerialErrorKind::DeviceGone);
  EXPECT_EQ(KindFromErrno(EPIPE), SerialErrorKind::DeviceGone);
  EXPECT_EQ(KindFromErrno(EMFILE), SerialErrorKind::Resource);

  SerialError e = ErrorFromErrno(EACCES, "open", "/dev/ttyUSB0");
  EXPECT_FALSE(e.ok());
  EXPECT_EQ(e.Message(), std::string("open /dev/ttyUSB0: ") + strerrordesc_np(EACCES));
  // A call that reported no errno still is an error.
  EXPECT_EQ(ErrorFromErrno(0, "write").kind, SerialErrorKind::Unknown);
  EXPECT_TRUE(SerialError{}.ok());
  EXPECT_TRUE(SerialError{}.Message().empty());
}

}  // namespace
}  // namespace tillvane::serial
