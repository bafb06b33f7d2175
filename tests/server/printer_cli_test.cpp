// tillvane-printer's command line: the mistakes it names before taking any job, and a
// run for scripts (--json, --exit-after, --strict).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "server/cli/printer_cli.h"
#include "server/listener.h"
#include "tests/server/server_harness.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Run {
  int status = -1;
  std::string out, err;
};

// Runs the command with `out` and `err` going to files, so that a test can read them
// while it runs.
class PrinterCli {
 public:
  PrinterCli() : out_(std::tmpfile()), err_(std::tmpfile()) {}
  ~PrinterCli() {
    std::fclose(out_);
    std::fclose(err_);
  }
  std::future<int> Start(std::vector<std::string> args) {
    args_ = std::move(args);
    return std::async(std::launch::async, [this] {
      std::vector<const char*> argv = {"tillvane-printer"};
      for (const auto& a : args_) argv.push_back(a.c_str());
      return server::RunPrinterCommand(static_cast<int>(argv.size()), argv.data(), out_, err_);
    });
  }
  static std::string Text(std::FILE* f) {
    std::fflush(f);
    std::string s;
    char buf[4096];
    const int fd = fileno(f);
    for (off_t at = 0;;) {
      const ssize_t n = pread(fd, buf, sizeof buf, at);
      if (n <= 0) break;
      s.append(buf, static_cast<size_t>(n));
      at += n;
    }
    return s;
  }
  std::string out() { return Text(out_); }
  std::string err() { return Text(err_); }
  // The port the run says it listens on (waits for the line at most 10 s).
  uint16_t WaitPort() {
    for (int i = 0; i < 1000; ++i) {
      const std::string e = err();
      const size_t at = e.find("listening on 127.0.0.1:");
      if (at != std::string::npos) return static_cast<uint16_t>(std::stoi(e.substr(at + 23)));
      std::this_thread::sleep_for(10ms);
    }
    return 0;
  }

 private:
  std::FILE* out_;
  std::FILE* err_;
  std::vector<std::string> args_;
};

TEST(PrinterCli, MistakesAreNamedAndExitBeforeAnyJob) {
  ScopedTempDir dir;
  WriteFileBytes(dir.path() / "file", {1});
  std::string error;
  const int busy = server::OpenListener("127.0.0.1:0", &error);
  ASSERT_GE(busy, 0) << error;
  const std::string busy_address = server::LocalAddress(busy);
  const std::string jobs = (dir.path() / "jobs").string();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{"--listen", busy_address, "--jobs", jobs}, 1, busy_address + ": the port is in use"},
      {{"--listen", "192.0.2.7:9100", "--jobs", jobs}, 1, "192.0.2.7:9100: no such address"},
      {{"--listen", "127.0.0.1:0", "--jobs", (dir.path() / "file" / "jobs").string()},
       1,
       "jobs folder " + (dir.path() / "file" / "jobs").string()},
      {{"--serial", (dir.path() / "file").string(), "--listen", "127.0.0.1:0", "--jobs", jobs},
       1,
       (dir.path() / "file").string() + ": cannot make the link"},
      {{"--paper", "58"}, 2, "--paper takes 80 or 56, not 58"},
      {{"--state", "jammed"}, 2, "not jammed"},
      {{"--idle-timeout", "0"}, 2, "--idle-timeout takes seconds"},
      {{"--max-job", "x"}, 2, "--max-job takes megabytes"},
      {{"--profile", "klingon"}, 2, "--profile takes cn|intl, not klingon"},
      {{"--keep"}, 2, "--keep needs a value"},
      {{"--bogus"}, 2, "unknown argument --bogus"},
  };
  for (const Case& c : cases) {
    PrinterCli cli;
    const int status = cli.Start(c.args).get();
    EXPECT_EQ(status, c.status) << c.says;
    EXPECT_NE(cli.err().find(c.says), std::string::npos) << cli.err();
    EXPECT_EQ(cli.out(), "");
  }
  close(busy);
}

TEST(PrinterCli, OneJsonLinePerJobAndStrictExitsThreeOnUnknownBytes) {
  ScopedTempDir dir;
  setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
  const std::string jobs = (dir.path() / "jobs").string();
  struct Case {
    std::vector<std::string> extra;
    Bytes job;
    int status;
    bool png;
    std::string not_drawn = "\"not_drawn\":0";
  };
  const Case cases[] = {
      {{"--strict"}, {'a', 0x01, '\n'}, 3, true},
      {{"--strict", "--no-render"}, {'a', '\n'}, 0, false},
      {{}, {0x01, '\n'}, 0, true},
      {{"--strict"},
       {0x1C, 'C', 1, 'a', '\n'},
       3,
       true,
       "\"not_drawn\":1,\"refused\":0,\"replies\":0,\"not_drawn_notes\":[\"FS C at 0: not "
       "drawn\"]"},
  };
  int number = 0;
  for (const Case& c : cases) {
    PrinterCli cli;
    std::vector<std::string> args = {"--listen", "127.0.0.1:0",  "--jobs", jobs,
                                     "--json",   "--exit-after", "1"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    auto run = cli.Start(args);
    const uint16_t port = cli.WaitPort();
    ASSERT_NE(port, 0) << cli.err();
    PrintJob(port, c.job);
    ASSERT_EQ(run.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(run.get(), c.status) << cli.err();
    const std::string line = cli.out();
    ++number;
    SCOPED_TRACE(line);
    EXPECT_EQ(line.rfind("{\"job\":" + std::to_string(number) + ",\"source\":\"127.0.0.1:", 0), 0u);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    for (const std::string& field :
         {"\"bytes\":" + std::to_string(c.job.size()), c.not_drawn,
          std::string("\"cut_short\":false"), std::string("\"refused\":0")})
      EXPECT_NE(line.find(field), std::string::npos) << field;
    EXPECT_EQ(line.find("\"png\":null") == std::string::npos, c.png);
    char name[16];
    std::snprintf(name, sizeof name, "%06d", number);
    EXPECT_EQ(ReadFileBytes(fs::path(jobs) / (std::string(name) + ".bin")), c.job);
    EXPECT_EQ(fs::exists(fs::path(jobs) / (std::string(name) + ".png")), c.png);
    // The description on disk is the line on standard output.
    const Bytes json = ReadFileBytes(fs::path(jobs) / (std::string(name) + ".json"));
    EXPECT_EQ(std::string(json.begin(), json.end()), line);
  }
  unsetenv("XDG_DATA_HOME");
}

TEST(PrinterCli, SigtermEndsCleanlyKeepingTheJobInProgress) {
  ScopedTempDir dir;
  const std::string jobs = (dir.path() / "jobs").string();
  PrinterCli cli;
  auto run = cli.Start({"--listen", "127.0.0.1:0", "--jobs", jobs, "--no-render"});
  const uint16_t port = cli.WaitPort();
  ASSERT_NE(port, 0) << cli.err();
  const int fd = Connect(port);
  ASSERT_TRUE(SendAll(fd, {'h', 'a', 'l', 'f'}));
  // The receiving thread answers once the bytes before it are in.
  ASSERT_TRUE(SendAll(fd, {0x10, 0x04, 0x01}));
  ASSERT_EQ(ReadSome(fd, 1, 5s), Bytes{0x12});
  kill(getpid(), SIGTERM);
  ASSERT_EQ(run.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(run.get(), 0) << cli.err();
  close(fd);
  EXPECT_NE(cli.out().find("job 000001 from 127.0.0.1:"), std::string::npos) << cli.out();
  EXPECT_NE(
      cli.out().find(": 7 bytes, 1 page, 0 unknown, 0 not drawn, 0 refused, cut short (stop) -> "),
      std::string::npos)
      << cli.out();
  EXPECT_EQ(ReadFileBytes(fs::path(jobs) / "000001.bin"),
            (Bytes{'h', 'a', 'l', 'f', 0x10, 0x04, 0x01}));
}

}  // namespace
}  // namespace tillvane::testing
