// The loader against a port I/O library that lacks one of its twelve entry points.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "link/link_state.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "tests/parallel/fake_services.h"

namespace tillvane {
namespace {

bool LibraryResident() {
  void* handle = dlopen(kPortIoLibrary, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

TEST(IncompleteLibrary, IsFreedAndTheLinkIsNotLoaded) {
  ResetLinkState();
  // The library is there and loads; only its last entry point is missing.
  void* probe = dlopen(kPortIoLibrary, RTLD_NOW);
  ASSERT_NE(probe, nullptr) << dlerror();
  EXPECT_NE(dlsym(probe, "DlPortWritePortBufferUchar"), nullptr);
  EXPECT_EQ(dlsym(probe, "DlPortWritePortBufferUlong"), nullptr);
  dlclose(probe);

  EXPECT_EQ(OpenParallel(1, 0x378), 1);
  EXPECT_FALSE(PortIoLoaded());
  EXPECT_EQ(PortIo().library, nullptr);
  EXPECT_EQ(PortIoEntries().read_uchar, nullptr);
  EXPECT_FALSE(LibraryResident());
  EXPECT_NE(OpenLinkKind(), LinkKind::Parallel);
  EXPECT_EQ(ReadPin(2), 0);
  EXPECT_EQ(CloseParallel(), 0);
}

TEST(IncompleteLibrary, OnNtTheDriverStartedForItIsStoppedAndRemoved) {
  ResetLinkState();
  testing::FakeServiceManager scm;
  PortIoEnvironment env = DefaultPortIoEnvironment();
  env.is_nt = [] { return true; };
  env.services = &scm;
  SetPortIoEnvironment(env);
  EXPECT_EQ(OpenParallel(1, 0x378), 1);
  EXPECT_EQ(scm.created, 1);
  EXPECT_EQ(scm.started, 1);
  EXPECT_EQ(scm.stopped, 1);
  EXPECT_EQ(scm.deleted, 1);
  EXPECT_FALSE(scm.connected);
  EXPECT_TRUE(scm.open.empty());
  EXPECT_FALSE(LibraryResident());
  SetPortIoEnvironment(DefaultPortIoEnvironment());
}

}  // namespace
}  // namespace tillvane
