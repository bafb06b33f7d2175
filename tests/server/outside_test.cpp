// tillvane-printer as the rest of the system reaches it: a raw queue of a real CUPS
// daemon (the rigs' private one) printing to it over its socket backend, and the
// installed program started by systemd's socket activation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "server/listener.h"
#include "tests/rigs/cups_rig.h"
#include "tests/server/server_harness.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A job that holds every byte value once after a sample receipt: a raw queue must pass
// each as it is, none taken for a control of its own.
Bytes RawJob() {
  Bytes job = ReadFileBytes(GoldenDir() / "AccountTicket.bin");
  for (int b = 0; b < 256; ++b) job.push_back(static_cast<uint8_t>(b));
  return job;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

size_t KeptJobs(const fs::path& dir) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".bin") ++n;
  return n;
}

TEST(ThroughCups, ARawJobArrivesAsOneJobWithItsBytes) {
  ASSERT_TRUE(fs::exists("/usr/lib/cups/backend/socket"))
      << "the socket backend comes with the Debian package cups";
  rigs::CupsRig rig;
  ASSERT_TRUE(rig.Ready()) << rig.Error();
  ServerHarness h;
  ASSERT_TRUE(rig.AddDeviceQueue("tillvane", "socket://127.0.0.1:" + std::to_string(h.port())))
      << rig.Error();
  const Bytes job = RawJob();
  const fs::path file = rig.Folder() / "job.bin";
  WriteFile(file, job);
  ASSERT_TRUE(rig.PrintRaw("tillvane", file)) << rig.Error();

  const auto jobs = h.WaitJobs(1);
  ASSERT_EQ(jobs.size(), 1u) << rig.ErrorLog();
  EXPECT_EQ(ReadFileBytes(jobs[0].bin), job);
  EXPECT_FALSE(jobs[0].cut_short);
  EXPECT_EQ(jobs[0].source.rfind("127.0.0.1:", 0), 0u) << jobs[0].source;
  // The daemon calls the job done, and no second connection came after it.
  ASSERT_TRUE(rig.WaitForJobs(20000)) << rig.ErrorLog();
  const auto queued = rig.Jobs("tillvane");
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].state, 9) << rig.ErrorLog();
  EXPECT_EQ(KeptJobs(h.jobs_dir() / "jobs"), 1u);
}

// A port free a moment ago, for a program that must be told a fixed one.
uint16_t FreePort() {
  std::string error;
  const int fd = server::OpenListener("127.0.0.1:0", &error);
  if (fd < 0) return 0;
  const std::string bound = server::LocalAddress(fd);
  close(fd);
  return static_cast<uint16_t>(std::stoi(bound.substr(bound.rfind(':') + 1)));
}

// Waits for `pid` at most `timeout`; its exit status, or -1 (and the process killed).
int WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(20ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(SocketActivation, TheProgramServesTheSocketItIsHanded) {
  const char* activate = "/usr/bin/systemd-socket-activate";
  ASSERT_EQ(access(activate, X_OK), 0) << activate << " comes with the Debian package systemd";
  ScopedTempDir dir;
  const uint16_t port = FreePort();
  ASSERT_NE(port, 0);
  const std::string listen = "127.0.0.1:" + std::to_string(port);
  const std::string program = std::string(TILLVANE_BIN_DIR) + "/tillvane-printer";
  const std::string jobs = (dir.path() / "jobs").string();
  const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
  // No --listen: the program takes the socket systemd hands it, not 127.0.0.1:9100.
  std::vector<std::string> args = {activate, "-l",          listen,         program, "--jobs",
                                   jobs,     "--no-render", "--exit-after", "1",     "--json"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, activate, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  int fd = -1;
  for (int i = 0; i < 500 && fd < 0; ++i) {
    fd = Connect(port);
    if (fd < 0) std::this_thread::sleep_for(10ms);
  }
  ASSERT_GE(fd, 0) << "nothing listens on " << listen;
  const Bytes job = {'a', 'c', 't', 'i', 'v', 'e', '\n', 0x10, 0x04, 0x01};
  ASSERT_TRUE(SendAll(fd, job));
  shutdown(fd, SHUT_WR);
  EXPECT_EQ(ReadSome(fd, SIZE_MAX, 20s), Bytes{0x12});
  close(fd);
  EXPECT_EQ(WaitExit(pid, 20s), 0);

  auto text = [](const std::string& path) {
    const Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
  };
  EXPECT_NE(text(err).find("tillvane-printer: listening on " + listen + "\n"), std::string::npos)
      << text(err);
  EXPECT_EQ(text(out).rfind("{\"job\":1,\"source\":\"127.0.0.1:", 0), 0u) << text(out);
  EXPECT_EQ(ReadFileBytes(fs::path(jobs) / "000001.bin"), job);
}

}  // namespace
}  // namespace tillvane::testing
