// Our ppdev port I/O library, loaded for real, against a parallel port served through
// FUSE.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>

#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "abi/dlportio_api.h"
#include "link/link_state.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "link/send_data.h"
#include "tests/parallel/fuse_parport.h"

namespace tillvane {
namespace {

using testing::FuseParport;
using Bytes = std::vector<uint8_t>;
using SetDevicePathFn = int (*)(uint16_t, const char*);

class PpdevLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib = dlopen(kPortIoLibrary, RTLD_NOW);
    ASSERT_NE(lib, nullptr) << dlerror();
    ASSERT_EQ(dlsym(lib, "DlPortSimReset"), nullptr) << "the simulated library was found";
    set_path = Resolve<SetDevicePathFn>("DlPortIoSetDevicePath");
    read = Resolve<DlPortReadPortUcharFn>("DlPortReadPortUchar");
    write = Resolve<DlPortWritePortUcharFn>("DlPortWritePortUchar");
    if (!port.Start()) GTEST_SKIP() << "FUSE cannot serve a simulated port here: " << port.error();
    ASSERT_EQ(set_path(0x378, port.device().c_str()), 0);
  }
  void TearDown() override {
    ResetLinkState();
    CloseParallel();
    if (lib != nullptr) {
      set_path(0x378, "/dev/parport0");  // closes the simulated port
      dlclose(lib);
    }
    port.Stop();
  }
  template <typename Fn>
  Fn Resolve(const char* name) {
    void* symbol = dlsym(lib, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<Fn>(symbol);
  }
  std::vector<FuseParport::Ioctl> Ioctls() { return port.Snapshot().ioctls; }

  FuseParport port;
  void* lib = nullptr;
  SetDevicePathFn set_path = nullptr;
  DlPortReadPortUcharFn read = nullptr;
  DlPortWritePortUcharFn write = nullptr;
};

TEST_F(PpdevLibraryTest, RegistersAreServedByPpdevIoctlsOnALazilyClaimedPort) {
  EXPECT_EQ(port.Snapshot().opens, 0);
  EXPECT_EQ(read(0x379), 0xDF);
  write(0x378, 0x41);
  EXPECT_EQ(read(0x378), 0x41);
  write(0x37A, 0x0D);
  EXPECT_EQ(read(0x37A), 0x0D);
  write(0x379, 0x00);  // the status register is read-only
  std::vector<FuseParport::Ioctl> expected = {
      {PPCLAIM, 0},    {PPRSTATUS, 0xDF},  {PPWDATA, 0x41},
      {PPRDATA, 0x41}, {PPWCONTROL, 0x0D}, {PPRCONTROL, 0x0D},
  };
  EXPECT_EQ(Ioctls(), expected);
  EXPECT_EQ(port.Snapshot().opens, 1);

  // Pointing the port elsewhere releases and closes the device.
  ASSERT_EQ(set_path(0x378, "/nonexistent/parport"), 0);
  EXPECT_EQ(port.Snapshot().unclaims, 1);
  EXPECT_EQ(read(0x379), 0xFF);  // a device that cannot be opened
  for (int i = 0; i < 100 && port.Snapshot().releases == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(port.Snapshot().releases, 1);
}

TEST_F(PpdevLibraryTest, WideAndBufferFormsAreMadeOfByteAccesses) {
  auto read_ushort = Resolve<DlPortReadPortUshortFn>("DlPortReadPortUshort");
  auto read_ulong = Resolve<DlPortReadPortUlongFn>("DlPortReadPortUlong");
  auto write_ushort = Resolve<DlPortWritePortUshortFn>("DlPortWritePortUshort");
  auto write_buffer = Resolve<DlPortWritePortBufferUcharFn>("DlPortWritePortBufferUchar");
  auto read_buffer = Resolve<DlPortReadPortBufferUcharFn>("DlPortReadPortBufferUchar");
  write(0x378, 0x5A);
  write(0x37A, 0x04);
  EXPECT_EQ(read_ushort(0x379), 0x04DF);
  EXPECT_EQ(read_ulong(0x378), 0xFF04DF5Au);  // base + 3 is no register
  write_ushort(0x37A, 0x1234);                // high byte to base + 3: ignored
  EXPECT_EQ(read(0x37A), 0x34);
  const uint8_t out[3] = {1, 2, 3};
  write_buffer(0x378, out, 3);
  uint8_t in[2] = {};
  read_buffer(0x379, in, 2);
  EXPECT_EQ(in[0], 0xDF);
  EXPECT_EQ(in[1], 0xDF);
  auto log = Ioctls();
  ASSERT_GE(log.size(), 5u);
  std::vector<FuseParport::Ioctl> tail(log.end() - 5, log.end());
  std::vector<FuseParport::Ioctl> expected = {
      {PPWDATA, 1}, {PPWDATA, 2}, {PPWDATA, 3}, {PPRSTATUS, 0xDF}, {PPRSTATUS, 0xDF}};
  EXPECT_EQ(tail, expected);
}

TEST_F(PpdevLibraryTest, LowAndUnknownAddressesAreNeverServed) {
  for (int address : {0, 1, 2, 0x377, 0x37B, 0x3BC}) {
    EXPECT_EQ(read(static_cast<uint16_t>(address)), 0xFF);
    write(static_cast<uint16_t>(address), 0x00);
  }
  for (int base : {0, 1, 2, 0xFFFE, 0xFFFF})
    EXPECT_EQ(set_path(static_cast<uint16_t>(base), "/x"), -1);
  EXPECT_EQ(port.Snapshot().opens, 0);
  EXPECT_TRUE(Ioctls().empty());
}

TEST_F(PpdevLibraryTest, SendDataPrintsEveryByteThroughTheHandshake) {
  ASSERT_EQ(OpenParallel(1, 0x378), 0);
  Links().Kind = LinkKind::Parallel;
  Bytes all(256);
  std::iota(all.begin(), all.end(), uint8_t{0});
  EXPECT_EQ(SendData(all.data(), 256), 0);
  EXPECT_EQ(port.Snapshot().printed, all);

  Links().BusyTimeout = 30;
  port.SetStatus(0xDF | 0x20);  // paper end
  EXPECT_EQ(SendData(all.data(), 1), -1);
  EXPECT_EQ(port.Snapshot().printed.size(), 256u);
}

TEST_F(PpdevLibraryTest, TheConfiguredDeviceIsToldToTheLibraryAtEveryLoad) {
  ASSERT_EQ(set_path(0x378, "/dev/parport0"), 0);  // forget what the fixture set
  SetPortIoDevicePath(0x378, port.device());
  ASSERT_EQ(OpenParallel(1, 0x378), 0);
  Links().Kind = LinkKind::Parallel;
  const Bytes bytes = {0x1B, 0x40, 0x0A};
  EXPECT_EQ(SendData(bytes.data(), 3), 0);
  EXPECT_EQ(port.Snapshot().printed, bytes);
  SetPortIoDevicePath(0x378, "");
}

}  // namespace
}  // namespace tillvane
