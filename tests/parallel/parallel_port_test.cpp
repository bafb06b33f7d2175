// The parallel link against the simulated printer behind the port I/O library's
// simulated twin, which the loader finds by its bare name first in the search order.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <vector>

#include "link/link_state.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "link/send_data.h"
#include "tests/rigs/parallel_sim.h"

namespace tillvane {
namespace {

using rigs::PortAccess;
using Sim = rigs::SimulatedParallelPrinter;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kLpt1 = 0x378;

PortAccess R(uint16_t address, uint8_t value) {
  return {false, address, value};
}
PortAccess W(uint16_t address, uint8_t value) {
  return {true, address, value};
}

class ParallelLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    ASSERT_EQ(OpenParallel(1, kLpt1), 0);
    ASSERT_TRUE(Sim::Loaded());
    Sim::Reset();
  }
  void TearDown() override {
    CloseParallel();
    ResetLinkState();
  }
};

TEST_F(ParallelLinkTest, EachByteIsReadyTestDataStrobeAndStatusRead) {
  const Bytes bytes = {0x1B, 0x40};
  ASSERT_EQ(WriteBuffer(bytes.data(), 2), 2);
  // Ready status 0xDF: busy line high (ready), no paper end.
  std::vector<PortAccess> expected;
  for (uint8_t b : bytes) {
    expected.insert(expected.end(), {R(0x379, 0xDF), R(0x379, 0xDF), W(0x378, b), W(0x37A, 0x0D),
                                     W(0x37A, 0x0C), R(0x379, 0xDF)});
  }
  EXPECT_EQ(Sim::Accesses(), expected);
  EXPECT_EQ(Sim::Printed(), bytes);
}

TEST_F(ParallelLinkTest, WriteByteStrobedReportsTheBusyLineAfterTheStrobe) {
  EXPECT_EQ(WriteByteStrobed(0x55), 1);
  Sim::SetBusyReads(1);
  EXPECT_EQ(WriteByteStrobed(0x66), 0);  // printed, then busy for the one status read
  EXPECT_EQ(Sim::Printed(), (Bytes{0x55, 0x66}));
  EXPECT_EQ(Sim::ControlWrites(), (Bytes{0x0D, 0x0C, 0x0D, 0x0C}));
}

TEST_F(ParallelLinkTest, WaitsWhileThePrinterIsBusy) {
  Sim::SetBusyReads(300);
  Bytes bytes(20);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0x30});
  ASSERT_EQ(WriteBuffer(bytes.data(), 20), 20);
  EXPECT_EQ(Sim::Printed(), bytes);
  EXPECT_EQ(Sim::IgnoredStrobes(), 0u);  // never strobed into a busy printer
  // Per byte two reads for the ready test and one after the strobe; each of the 299
  // busy reads left after that one polls pin 11 alone, as paper end is only looked at
  // while the printer is not busy.
  EXPECT_EQ(Sim::RegisterReads(), 20u * 3u + 19u * 299u);

  Sim::SetBusyReads(0);
  Sim::SetBusyMs(3);
  ASSERT_EQ(WriteBuffer(bytes.data(), 5), 5);
  EXPECT_EQ(Sim::Printed().size(), 25u);
  EXPECT_EQ(Sim::IgnoredStrobes(), 0u);
}

TEST_F(ParallelLinkTest, PaperEndMakesEveryByteWaitTheBusyTimeoutAndFail) {
  Links().BusyTimeout = 50;
  Sim::SetPaperEnd(true);
  for (uint8_t b : {0x41, 0x42, 0x43}) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PrintChar(b), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  }
  const Bytes bytes = {1, 2, 3};
  EXPECT_EQ(WriteBuffer(bytes.data(), 3), 0);
  EXPECT_TRUE(Sim::Printed().empty());
  EXPECT_TRUE(Sim::ControlWrites().empty());  // no strobe at all
}

TEST_F(ParallelLinkTest, FailureInMidBufferReturnsZeroWithEarlierBytesPrinted) {
  Links().BusyTimeout = 50;
  Links().Kind = LinkKind::Parallel;
  Bytes bytes = {10, 11, 12, 13, 14};
  Sim::SetPaperEndAfter(2);
  EXPECT_EQ(WriteBuffer(bytes.data(), 5), 0);
  EXPECT_EQ(Sim::Printed(), (Bytes{10, 11}));

  // A printer that stays busy after one byte, through SendData.
  Sim::Reset();
  Sim::SetBusyMs(60000);
  EXPECT_EQ(SendData(bytes.data(), 5), -1);
  EXPECT_EQ(Sim::Printed(), (Bytes{10}));
}

TEST_F(ParallelLinkTest, SendDataCarriesEveryByteValue) {
  Links().Kind = LinkKind::Parallel;
  Bytes all(256);
  std::iota(all.begin(), all.end(), uint8_t{0});
  EXPECT_EQ(SendData(all.data(), 256), 0);
  EXPECT_EQ(Sim::Printed(), all);
  EXPECT_EQ(SendData(all.data(), 0), 0);
  EXPECT_EQ(WriteBuffer(all.data(), 0), 0);
  EXPECT_EQ(WriteBuffer(all.data(), -1), 0);
  EXPECT_EQ(Sim::Printed().size(), 256u);
}

struct Pin {
  uint8_t pin;
  int reg;  // 0 data, 1 status, 2 control
  int bit;
  bool high_when_set;
};

constexpr Pin kPins[] = {
    {1, 2, 0, false},  {2, 0, 0, true},   {3, 0, 1, true},  {4, 0, 2, true},   {5, 0, 3, true},
    {6, 0, 4, true},   {7, 0, 5, true},   {8, 0, 6, true},  {9, 0, 7, true},   {10, 1, 6, true},
    {11, 1, 7, false}, {12, 1, 5, true},  {13, 1, 4, true}, {14, 2, 1, false}, {15, 1, 3, true},
    {16, 2, 2, true},  {17, 2, 3, false},
};

TEST_F(ParallelLinkTest, ReadPinUndoesTheInversionsOfEveryPin) {
  for (int v : {0x00, 0xFF, 0x55, 0xAA, 0x0F, 0xF0, 0x01, 0x80}) {
    // The registers hold different values, so a pin read from the wrong one shows.
    const uint8_t regs[3] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v ^ 0x5A),
                             static_cast<uint8_t>(v ^ 0x0F)};
    Sim::SetRegisters(regs[0], regs[1], regs[2]);
    for (const Pin& p : kPins) {
      bool set = (regs[p.reg] >> p.bit) & 1;
      uint32_t reads = Sim::RegisterReads();
      EXPECT_EQ(ReadPin(p.pin), set == p.high_when_set ? 1 : 0)
          << "pin " << int(p.pin) << " v " << v;
      EXPECT_EQ(Sim::RegisterReads(), reads + 1);
    }
  }
  // Each pin reads its own register.
  Sim::Reset();
  for (const Pin& p : kPins) ReadPin(p.pin);
  auto log = Sim::Accesses();
  ASSERT_EQ(log.size(), std::size(kPins));
  for (size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].address, kLpt1 + kPins[i].reg);
}

TEST_F(ParallelLinkTest, PinsOutsideTheConnectorReadNothing) {
  for (uint8_t regs : {0x00, 0xFF}) {
    Sim::SetRegisters(regs, regs, regs);
    for (int pin : {0, 18, 19, 25, 128, 255}) EXPECT_EQ(ReadPin(static_cast<uint8_t>(pin)), 0);
  }
  EXPECT_EQ(Sim::RegisterReads(), 0u);
}

TEST_F(ParallelLinkTest, OpeningAgainReloadsTheLibrary) {
  const Bytes bytes = {0x0A};
  ASSERT_EQ(WriteBuffer(bytes.data(), 1), 1);
  ASSERT_EQ(Sim::Printed(), bytes);
  ASSERT_EQ(OpenParallel(1, kLpt1), 0);
  // A fresh copy of the library: the printer's record starts empty.
  EXPECT_TRUE(Sim::Printed().empty());
  EXPECT_EQ(OpenLinkKind(), LinkKind::Parallel);
  ASSERT_EQ(WriteBuffer(bytes.data(), 1), 1);
  EXPECT_EQ(Sim::Printed(), bytes);

  EXPECT_EQ(CloseParallel(), 0);
  EXPECT_FALSE(PortIoLoaded());
  EXPECT_FALSE(Sim::Loaded());  // freed, not just forgotten
  EXPECT_NE(OpenLinkKind(), LinkKind::Parallel);
  Links().Kind = LinkKind::Parallel;
  EXPECT_EQ(SendData(bytes.data(), 1), -1);
  EXPECT_EQ(WriteBuffer(bytes.data(), 1), 0);
}

TEST(ParallelPortBase, PortsWithoutAnAddressAreRefusedWithoutTouchingLowPorts) {
  ResetLinkState();
  Sim::Hold hold;  // keeps the printer's record across the unloads
  ASSERT_TRUE(hold.ok());
  ASSERT_EQ(OpenParallel(1, kLpt1), 0);
  Sim::Reset();

  EXPECT_EQ(OpenParallel(3, 0), 1);  // LPT3
  EXPECT_FALSE(PortIoLoaded());
  EXPECT_NE(OpenLinkKind(), LinkKind::Parallel);
  EXPECT_EQ(ParallelPortNumber(), 3);
  EXPECT_EQ(ParallelPortBase(), 0);
  const Bytes bytes = {0x41};
  EXPECT_EQ(WriteBuffer(bytes.data(), 1), 0);
  EXPECT_EQ(PrintChar(0x41), 0);
  EXPECT_EQ(WriteByteStrobed(0x41), 0);
  for (int pin = 1; pin <= 17; ++pin) EXPECT_EQ(ReadPin(static_cast<uint8_t>(pin)), 0);
  Links().Kind = LinkKind::Parallel;
  EXPECT_EQ(SendData(bytes.data(), 1), -1);
  EXPECT_EQ(OpenParallel(4, 0), 1);  // LPT4
  // Registers that would wrap round to address 0.
  EXPECT_EQ(OpenParallel(1, 0xFFFE), 1);
  EXPECT_EQ(Sim::LowAccesses(), 0u);
  EXPECT_TRUE(Sim::Accesses().empty());
  ResetLinkState();
}

TEST(ParallelPortBase, NumberOutsideOneToEightKeepsThePreviousPort) {
  ResetLinkState();
  Sim::Hold hold;
  ASSERT_TRUE(hold.ok());
  Sim::Reset();
  Sim::SetBase(0x278);
  ASSERT_EQ(OpenParallel(2, 0x278), 0);
  for (int number : {9, 0}) {
    ASSERT_EQ(OpenParallel(static_cast<uint8_t>(number), kLpt1), 0);
    EXPECT_EQ(ParallelPortNumber(), 2);
    EXPECT_EQ(ParallelPortBase(), 0x278);
  }
  // Base 0 with a number outside the range keeps LPT2 rather than refusing.
  ASSERT_EQ(OpenParallel(0, 0), 0);
  const Bytes bytes = {0x42};
  EXPECT_EQ(WriteBuffer(bytes.data(), 1), 1);
  EXPECT_EQ(Sim::Printed(), bytes);
  CloseParallel();
  ResetLinkState();
}

}  // namespace
}  // namespace tillvane
