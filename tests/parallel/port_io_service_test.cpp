// The NT side of the port I/O loader against a service manager in memory, with the
// simulated port I/O library loaded for real; and the driver-file restore step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link_state.h"
#include "link/parallel_port.h"
#include "link/port_io/port_io.h"
#include "tests/parallel/fake_services.h"
#include "tests/rigs/parallel_sim.h"

namespace tillvane {
namespace {

using testing::FakeFiles;
using testing::FakeRegistry;
using testing::FakeServiceManager;
using Sim = rigs::SimulatedParallelPrinter;

constexpr uint32_t kFullManagerAccess = kScManagerConnect | kScManagerCreateService |
                                        kScManagerEnumerateService | kScManagerQueryLockStatus;

class NtDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLinkState();
    PortIoEnvironment env = DefaultPortIoEnvironment();
    env.is_nt = [] { return true; };
    env.current_folder = [] { return std::string("C:\\Tillvane"); };
    env.services = &scm;
    SetPortIoEnvironment(env);
  }
  void TearDown() override {
    scm.stop_error = scm.delete_error = 0;
    CloseParallel();
    EXPECT_FALSE(PortIoLoaded());
    EXPECT_TRUE(scm.open.empty()) << "service handles left open";
    EXPECT_FALSE(scm.connected);
    SetPortIoEnvironment(DefaultPortIoEnvironment());
    ResetLinkState();
  }
  bool Open() { return OpenParallel(1, 0x378) == 0; }

  FakeServiceManager scm;
};

TEST_F(NtDriverTest, ServiceInstalledAndRunningIsLeftAsItWas) {
  scm.exists = true;
  scm.state = ServiceState::Running;
  ASSERT_TRUE(Open());
  EXPECT_TRUE(Sim::Loaded());
  EXPECT_TRUE(PortIo().installed_before);
  EXPECT_TRUE(PortIo().running_before);
  EXPECT_EQ(scm.created + scm.started, 0);
  EXPECT_EQ(CloseParallel(), 0);
  EXPECT_FALSE(PortIoLoaded());
  EXPECT_EQ(scm.stopped + scm.deleted, 0);
  EXPECT_TRUE(scm.exists);
  EXPECT_EQ(scm.state, ServiceState::Running);
}

TEST_F(NtDriverTest, ServiceInstalledButStoppedIsStartedAndStoppedAgain) {
  scm.exists = true;
  ASSERT_TRUE(Open());
  EXPECT_EQ(scm.started, 1);
  EXPECT_EQ(scm.state, ServiceState::Running);
  CloseParallel();
  EXPECT_EQ(scm.stopped, 1);
  EXPECT_EQ(scm.deleted, 0);
  EXPECT_TRUE(scm.exists);
}

TEST_F(NtDriverTest, ServiceCreatedByTheLoadIsRemovedOnUnload) {
  ASSERT_TRUE(Open());
  EXPECT_EQ(scm.manager_access, kFullManagerAccess);
  EXPECT_EQ(scm.created, 1);
  EXPECT_EQ(scm.config.name, "DLPortIO");
  EXPECT_EQ(scm.config.display_name, "DriverLINX Port I/O Driver");
  EXPECT_EQ(scm.config.load_order_group, "SST miniport drivers");
  EXPECT_EQ(scm.config.binary_path, "C:\\Tillvane\\DLPortIO.SYS");
  EXPECT_EQ(scm.config.access, kServiceStart | kServiceStop | kServiceQueryStatus | kServiceDelete);
  EXPECT_EQ(scm.started, 1);
  EXPECT_TRUE(scm.connected);
  CloseParallel();
  EXPECT_EQ(scm.stopped, 1);
  EXPECT_EQ(scm.deleted, 1);
  EXPECT_FALSE(scm.exists);
}

TEST_F(NtDriverTest, WithoutAdministratorRightsCreatingFailsWithAccessDenied) {
  scm.admin = false;
  EXPECT_FALSE(Open());
  EXPECT_EQ(
      scm.connect_attempts,
      (std::vector<uint32_t>{kFullManagerAccess, kFullManagerAccess & ~kScManagerCreateService}));
  EXPECT_EQ(PortIo().last_error, "DriverInstall: Error #5");
  EXPECT_FALSE(Sim::Loaded());
  EXPECT_NE(OpenLinkKind(), LinkKind::Parallel);
  EXPECT_EQ(scm.created, 0);
  EXPECT_FALSE(scm.connected);

  // A driver some administrator installed and started serves without those rights.
  scm.exists = true;
  scm.state = ServiceState::Running;
  ASSERT_TRUE(Open());
  EXPECT_EQ(PortIo().last_error, "");
  CloseParallel();
  EXPECT_EQ(scm.stopped + scm.deleted, 0);
}

TEST_F(NtDriverTest, ServiceManagerThatCannotBeOpened) {
  scm.connect_error = 1722;
  EXPECT_FALSE(Open());
  EXPECT_EQ(scm.connect_attempts.size(), 1u);  // retried only after access denied
  EXPECT_EQ(PortIo().last_error, "ConnectSCM: Error #1722");
}

TEST_F(NtDriverTest, ServiceThatCannotBeStartedIsRemovedAgain) {
  scm.start_error = 1275;
  EXPECT_FALSE(Open());
  EXPECT_EQ(scm.created, 1);
  EXPECT_EQ(scm.deleted, 1);
  EXPECT_FALSE(scm.exists);
  EXPECT_EQ(PortIo().last_error, "DriverStart: Error #1275");
  EXPECT_FALSE(Sim::Loaded());

  // One that was there before stays.
  scm.exists = true;
  EXPECT_FALSE(Open());
  EXPECT_TRUE(scm.exists);
  EXPECT_EQ(scm.deleted, 1);
}

TEST_F(NtDriverTest, ServiceInAPendingStateFailsWithMinusOne) {
  scm.exists = true;
  for (ServiceState s :
       {ServiceState::StartPending, ServiceState::StopPending, ServiceState::Paused}) {
    scm.state = s;
    EXPECT_FALSE(Open());
    EXPECT_EQ(PortIo().last_error, "DriverStart: Error #-1");
  }
  EXPECT_EQ(scm.started + scm.deleted, 0);
}

TEST_F(NtDriverTest, FailedUnloadKeepsTheLibraryLoadedAndIsTriedAgain) {
  ASSERT_TRUE(Open());
  scm.stop_error = 1051;
  CloseParallel();
  EXPECT_TRUE(PortIoLoaded());
  EXPECT_TRUE(Sim::Loaded());
  EXPECT_EQ(PortIo().last_error, "DriverStop: Error #1051");
  EXPECT_EQ(OpenLinkKind(), LinkKind::Parallel);  // the port still works
  EXPECT_TRUE(scm.connected);

  // Opening again keeps the library it could not unload rather than leaking it.
  ASSERT_TRUE(Open());
  EXPECT_EQ(scm.created, 1);

  scm.stop_error = 0;
  scm.delete_error = 1072;
  CloseParallel();
  EXPECT_TRUE(PortIoLoaded());
  EXPECT_EQ(scm.stopped, 1);
  EXPECT_EQ(PortIo().last_error, "DriverRemove: Error #1072");

  scm.delete_error = 0;
  CloseParallel();
  EXPECT_FALSE(PortIoLoaded());
  EXPECT_FALSE(Sim::Loaded());
  EXPECT_EQ(scm.stopped, 1);  // not stopped twice
  EXPECT_EQ(scm.deleted, 1);
  EXPECT_NE(OpenLinkKind(), LinkKind::Parallel);
}

class DriverFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PortIoEnvironment env = DefaultPortIoEnvironment();
    env.is_nt = [this] { return nt; };
    env.program_folder = [] { return std::string("D:\\Tillvane"); };
    env.registry = &registry;
    env.files = &files;
    SetPortIoEnvironment(env);
    files.files = {"D:\\Tillvane\\DLPortIO.DLL", "D:\\Tillvane\\DLPortIO.SYS"};
  }
  void TearDown() override {
    EXPECT_FALSE(registry.key_open);
    EXPECT_EQ(registry.opens, registry.closes);
    SetPortIoEnvironment(DefaultPortIoEnvironment());
  }
  void Register(const std::string& image_path) {
    registry.keys["SYSTEM\\CurrentControlSet\\Services\\DLPortIO"]["ImagePath"] = image_path;
  }

  bool nt = true;
  FakeRegistry registry;
  FakeFiles files;
};

TEST_F(DriverFilesTest, NothingToDoOffNtOrWithoutARegisteredDriver) {
  EXPECT_EQ(InstallDriverFiles(), 1);  // no key
  Register("\\??\\C:\\Drv\\DLPortIO.SYS");
  nt = false;
  EXPECT_EQ(InstallDriverFiles(), 1);
  EXPECT_EQ(registry.opens, 0);
  EXPECT_TRUE(files.copies.empty());
}

TEST_F(DriverFilesTest, ExistingImageFileCopiesNothing) {
  Register("\\??\\C:\\Windows\\System32\\drivers\\DLPortIO.SYS");
  files.files.insert("\\??\\C:\\Windows\\System32\\drivers\\DLPortIO.SYS");
  EXPECT_EQ(InstallDriverFiles(), 1);
  // The file named without the NT prefix counts as well.
  files.files.erase("\\??\\C:\\Windows\\System32\\drivers\\DLPortIO.SYS");
  files.files.insert("C:\\Windows\\System32\\drivers\\DLPortIO.SYS");
  EXPECT_EQ(InstallDriverFiles(), 1);
  EXPECT_TRUE(files.copies.empty());
  EXPECT_TRUE(files.folder_calls.empty());
}

TEST_F(DriverFilesTest, MissingImageFileIsRestoredIntoItsFolder) {
  Register("\\??\\C:\\Windows\\System32\\drivers\\DLPortIO.SYS");
  EXPECT_EQ(InstallDriverFiles(), 1);
  EXPECT_EQ(files.folder_calls,
            (std::vector<std::string>{"C:", "C:\\Windows", "C:\\Windows\\System32",
                                      "C:\\Windows\\System32\\drivers"}));
  using Copy = std::pair<std::string, std::string>;
  EXPECT_EQ(files.copies,
            (std::vector<Copy>{
                {"D:\\Tillvane\\DLPortIO.DLL", "C:\\Windows\\System32\\drivers\\DLPortIO.DLL"},
                {"D:\\Tillvane\\DLPortIO.SYS", "C:\\Windows\\System32\\drivers\\DLPortIO.SYS"}}));

  // A path registered without the NT prefix keeps its drive.
  files.copies.clear();
  Register("E:\\Drv\\DLPortIO.SYS");
  EXPECT_EQ(InstallDriverFiles(), 1);
  ASSERT_EQ(files.copies.size(), 2u);
  EXPECT_EQ(files.copies[1].second, "E:\\Drv\\DLPortIO.SYS");
}

TEST_F(DriverFilesTest, FailedCopyGivesZero) {
  Register("\\??\\C:\\Drv\\DLPortIO.SYS");
  files.failing_copies = {"C:\\Drv\\DLPortIO.DLL"};
  EXPECT_EQ(InstallDriverFiles(), 0);
  EXPECT_TRUE(files.copies.empty());  // the second file is not tried
  files.failing_copies = {"C:\\Drv\\DLPortIO.SYS"};
  EXPECT_EQ(InstallDriverFiles(), 0);
  EXPECT_EQ(files.copies.size(), 1u);
}

TEST_F(DriverFilesTest, PathsTooShortToNameAFolderCopyNothing) {
  for (const char* path : {"", "abc", "DLPortIO.SYS", "\\??\\DLPortIO.SYS", "\\??\\"}) {
    Register(path);
    EXPECT_EQ(InstallDriverFiles(), 0) << path;
  }
  registry.keys.begin()->second.clear();  // key without ImagePath
  EXPECT_EQ(InstallDriverFiles(), 0);
  EXPECT_TRUE(files.copies.empty());
  EXPECT_TRUE(files.folder_calls.empty());
}

TEST_F(DriverFilesTest, CreateFolderPathCreatesEveryPrefixBeforeABackslash) {
  files.folders = {"C:", "C:\\a"};  // existing ones fail to be created, which is ignored
  EXPECT_EQ(CreateFolderPath("C:\\a\\b\\c"), 1);
  EXPECT_EQ(files.folder_calls, (std::vector<std::string>{"C:", "C:\\a", "C:\\a\\b"}));
  EXPECT_EQ(files.folders.count("C:\\a\\b\\c"), 0u);
  files.folder_calls.clear();
  EXPECT_EQ(CreateFolderPath("x\\"), 1);
  EXPECT_EQ(CreateFolderPath("noslash"), 1);
  EXPECT_EQ(CreateFolderPath(""), 1);
  EXPECT_EQ(files.folder_calls, (std::vector<std::string>{"x"}));
}

}  // namespace
}  // namespace tillvane
