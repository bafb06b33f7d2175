// The print server through real loopback sockets and a real pseudo-terminal: what is
// kept, what is answered, and how jobs begin and end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <thread>

#include "render/cli/render_cli.h"
#include "server/answers.h"
#include "server/listener.h"
#include "tests/server/server_harness.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using render::PrinterStatus;

// The roll tillvane-render draws of a file (without the flash store, as the harness's
// server has none).
Bytes RenderedPng(const fs::path& bin, const fs::path& png) {
  const std::string in = bin.string(), out = png.string();
  const char* argv[] = {"tillvane-render", "--no-flash-store", "-o", out.c_str(), in.c_str()};
  std::FILE* sink = std::tmpfile();
  const int status = render::RunRenderCommand(5, argv, sink, sink);
  std::fclose(sink);
  return status == 0 && fs::exists(png) ? ReadFileBytes(png) : Bytes{};
}

TEST(PrintServer, KeepsTheSampleStreamsAsReceivedAndDrawsThemAsTheRenderer) {
  ServerHarness h;
  std::vector<fs::path> streams;
  for (const auto& e : fs::directory_iterator(GoldenDir())) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() == ".bin" && name.find("56") == std::string::npos)
      streams.push_back(e.path());
  }
  std::sort(streams.begin(), streams.end());
  ASSERT_GE(streams.size(), 4u);
  for (const fs::path& s : streams) PrintJob(h.port(), ReadFileBytes(s));
  const auto jobs = h.WaitJobs(streams.size());
  ASSERT_EQ(jobs.size(), streams.size());
  for (size_t i = 0; i < streams.size(); ++i) {
    SCOPED_TRACE(streams[i].filename().string());
    const auto& job = jobs[i];
    EXPECT_EQ(job.number, i + 1);
    EXPECT_EQ(job.ended_by, "close");
    EXPECT_FALSE(job.cut_short);
    EXPECT_EQ(job.source.rfind("127.0.0.1:", 0), 0u) << job.source;
    EXPECT_EQ(ReadFileBytes(job.bin), ReadFileBytes(streams[i]));
    EXPECT_EQ(job.bytes, fs::file_size(streams[i]));
    ASSERT_FALSE(job.png.empty());
    const Bytes expected = RenderedPng(job.bin, h.jobs_dir() / "expected.png");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ReadFileBytes(job.png), expected);
    for (const fs::path& f :
         {job.bin, job.png, job.png.parent_path() / (job.png.stem().string() + ".json")}) {
      struct stat st {};
      ASSERT_EQ(stat(f.c_str(), &st), 0) << f;
      EXPECT_EQ(st.st_mode & 0777, 0600u) << f;
    }
  }
}

TEST(PrintServer, StatusAnswersFollowTheStateAndComeOnceWhileTheJobIsOpen) {
  struct Case {
    const char* name;
    PrinterStatus status;
    Bytes answers;  // DLE EOT 1, 2, 3, 4, then GS r 1
  };
  const Case cases[] = {
      {"ready", {}, {0x12, 0x12, 0x12, 0x12, 0x00}},
      {"paper out", {.paper_out = true}, {0x12, 0x32, 0x12, 0x72, 0x0C}},
      {"near end", {.paper_near_end = true}, {0x12, 0x12, 0x12, 0x1E, 0x03}},
      {"cover open", {.cover_open = true}, {0x12, 0x16, 0x12, 0x12, 0x00}},
      {"offline", {.offline = true}, {0x1A, 0x12, 0x12, 0x12, 0x00}},
  };
  ServerHarness h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.server().SetStatus(c.status);
    const int fd = Connect(h.port());
    ASSERT_GE(fd, 0);
    // The real-time requests are answered as they arrive, with the connection open;
    // one split across two sends still gets its answer.
    ASSERT_TRUE(SendAll(fd, {0x10, 0x04, 0x01, 0x10, 0x04, 0x02, 0x10}));
    ASSERT_TRUE(SendAll(fd, {0x04, 0x03, 0x10, 0x04, 0x04}));
    EXPECT_EQ(ReadSome(fd, 4, 5s), Bytes(c.answers.begin(), c.answers.begin() + 4));
    ASSERT_TRUE(SendAll(fd, {0x1D, 'r', 0x01}));
    shutdown(fd, SHUT_WR);
    // Nothing more than GS r's answer: the renderer does not answer DLE EOT again.
    EXPECT_EQ(ReadSome(fd, 64, 5s), Bytes{c.answers.back()});
    close(fd);
  }
}

TEST(PrintServer, NamesAndAutomaticStatusBack) {
  ServerHarness h;
  const Bytes names = PrintJob(h.port(), {0x1D, 'I', 65, 0x1D, 'I', 66, 0x1D, 'I', 67});
  const std::string text(names.begin(), names.end());
  EXPECT_EQ(text, std::string("_2.41\0_Tillvane\0_TV-80\0", 23));
  // The intl profile's printer says so in its model name.
  {
    ServerHarness intl({.profile = render::Profile::kIntl});
    const Bytes model = PrintJob(intl.port(), {0x1D, 'I', 67});
    EXPECT_EQ(std::string(model.begin(), model.end()), std::string("_TV-80-INTL\0", 12));
  }

  const int fd = Connect(h.port());
  ASSERT_TRUE(SendAll(fd, {0x1D, 'a', 0xFF}));
  EXPECT_EQ(ReadSome(fd, 4, 5s), (Bytes{0x10, 0x00, 0x00, 0x00}));
  h.server().SetStatus({.paper_out = true, .cover_open = true});
  EXPECT_EQ(ReadSome(fd, 4, 5s), (Bytes{0x30, 0x20, 0x0C, 0x00}));
  // Off again; the name asked after it shows the switch was taken.
  ASSERT_TRUE(SendAll(fd, {0x1D, 'a', 0x00, 0x1D, 'I', 66}));
  EXPECT_EQ(ReadSome(fd, 10, 5s).size(), 10u);
  h.server().SetStatus({});
  shutdown(fd, SHUT_WR);
  EXPECT_EQ(ReadSome(fd, 64, 5s), Bytes{});
  close(fd);
}

TEST(PrintServer, AQuietClientIsEndedAfterTheIdleTimeAndTheNextIsServed) {
  server::ServerOptions o;
  o.idle_timeout = 300ms;
  ServerHarness h(o);
  const auto start = std::chrono::steady_clock::now();
  const int quiet = Connect(h.port());
  ASSERT_GE(quiet, 0);
  std::this_thread::sleep_for(50ms);
  PrintJob(h.port(), {'n', 'e', 'x', 't', '\n'});
  const auto jobs = h.WaitJobs(1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
  // The quiet one sent nothing: no job of its own, and the printer closed it.
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(ReadFileBytes(jobs[0].bin), (Bytes{'n', 'e', 'x', 't', '\n'}));
  EXPECT_EQ(ReadSome(quiet, 1, 2s), Bytes{});
  close(quiet);

  // A job that stops sending is ended the same way and keeps what came.
  const int slow = Connect(h.port());
  ASSERT_TRUE(SendAll(slow, {'a', '\n'}));
  const auto more = h.WaitJobs(2);
  ASSERT_EQ(more.size(), 2u);
  EXPECT_EQ(more[1].ended_by, "idle");
  EXPECT_EQ(more[1].bytes, 2u);
  close(slow);
}

TEST(PrintServer, AHundredClientsAtOnceAreAllKeptOneAfterAnother) {
  ServerHarness h;
  constexpr int kClients = 100;
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i)
    clients.emplace_back([&h, i] {
      const std::string text = "client " + std::to_string(i) + "\n";
      PrintJob(h.port(), Bytes(text.begin(), text.end()));
    });
  for (auto& c : clients) c.join();
  const auto jobs = h.WaitJobs(kClients);
  ASSERT_EQ(jobs.size(), static_cast<size_t>(kClients));
  std::set<std::string> texts;
  for (size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_EQ(jobs[i].number, i + 1);
    if (i > 0) {
      EXPECT_GE(jobs[i].start, jobs[i - 1].end);  // one at a time
    }
    const Bytes b = ReadFileBytes(jobs[i].bin);
    texts.emplace(b.begin(), b.end());
  }
  EXPECT_EQ(texts.size(), static_cast<size_t>(kClients));
}

TEST(PrintServer, AResetJobIsKeptCutShortAndALargeOneIsCapped) {
  server::ServerOptions o;
  o.max_job = 1000;
  ServerHarness h(o);
  const int fd = Connect(h.port());
  ASSERT_TRUE(SendAll(fd, Bytes(300, 'r')));
  std::this_thread::sleep_for(200ms);
  linger hard{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd);  // a reset, not a FIN
  auto jobs = h.WaitJobs(1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].cut_short);
  EXPECT_EQ(jobs[0].ended_by, "reset");
  EXPECT_EQ(ReadFileBytes(jobs[0].bin), Bytes(300, 'r'));

  PrintJob(h.port(), Bytes(5000, 'x'));
  jobs = h.WaitJobs(2);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[1].bytes, 1000u);
  EXPECT_EQ(jobs[1].dropped, 4000u);
  EXPECT_EQ(fs::file_size(jobs[1].bin), 1000u);
  EXPECT_NE(server::JobLine(jobs[1]).find("4000 bytes past the size limit dropped"),
            std::string::npos);
}

TEST(PrintServer, TheSerialLinkTakesJobsAtAnySpeedEndingAtACutOrAPause) {
  server::ServerOptions o;
  o.serial_pause = 300ms;
  ServerHarness h(o, true);
  const Bytes first = {'o', 'n', 'e', '\n', 0x1D, 'V', 0x00};
  const Bytes second = {'t', 'w', 'o', '\n'};
  size_t expected_jobs = 0;
  for (speed_t speed : {B9600, B115200}) {
    const int tty = open(h.link().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0) << h.link();
    termios t{};
    ASSERT_EQ(tcgetattr(tty, &t), 0);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    ASSERT_EQ(tcsetattr(tty, TCSANOW, &t), 0);
    // One write: the cut splits it into two jobs, the second ended by the pause.
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    both.insert(both.end(), {0x10, 0x04, 0x04});
    ASSERT_EQ(write(tty, both.data(), both.size()), static_cast<ssize_t>(both.size()));
    EXPECT_EQ(ReadSome(tty, 1, 5s), Bytes{0x12});
    expected_jobs += 2;
    const auto jobs = h.WaitJobs(expected_jobs);
    ASSERT_EQ(jobs.size(), expected_jobs);
    const auto& a = jobs[expected_jobs - 2];
    const auto& b = jobs[expected_jobs - 1];
    EXPECT_EQ(ReadFileBytes(a.bin), first);
    EXPECT_EQ(a.ended_by, "cut");
    EXPECT_EQ(b.ended_by, "pause");
    EXPECT_EQ(b.source, "serial:" + h.link().string());
    EXPECT_EQ(b.bytes, second.size() + 3);
    close(tty);
  }
}

TEST(JobStore, NumbersContinueAfterTheHighestAndTheOldestGo) {
  ScopedTempDir dir;
  WriteFileBytes(dir.path() / "000041.bin", {1});
  WriteFileBytes(dir.path() / "notes.txt", {1});
  std::string error;
  auto store = server::JobStore::Open(dir.path(), 3, &error);
  ASSERT_TRUE(store) << error;
  for (int i = 0; i < 4; ++i) {
    server::JobRecord job;
    int fd = -1;
    ASSERT_TRUE(store->Begin(&job, &fd, &error)) << error;
    close(fd);
    EXPECT_EQ(job.number, 42u + i);
    ASSERT_TRUE(store->Finish(job, &error)) << error;
  }
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"000043.bin", "000043.json", "000044.bin", "000044.json",
                                          "000045.bin", "000045.json", "notes.txt"}));
  EXPECT_EQ(server::JobNumberOf("000045.png"), 45u);
  EXPECT_EQ(server::JobNumberOf("45.bin"), std::nullopt);
  EXPECT_EQ(server::JobNumberOf("00004x.bin"), std::nullopt);
  EXPECT_EQ(server::JobNumberOf("000045.txt"), std::nullopt);
}

TEST(Listener, TheDefaultIsLoopbackAndBadAddressesAreNamed) {
  const std::string def = server::kDefaultListen;
  EXPECT_EQ(def, "127.0.0.1:9100");
  std::string error;
  const std::string host = def.substr(0, def.rfind(':'));
  const int fd = server::OpenListener(host + ":0", &error);
  ASSERT_GE(fd, 0) << error;
  const std::string bound = server::LocalAddress(fd);
  EXPECT_EQ(bound.rfind("127.0.0.1:", 0), 0u) << bound;
  struct Case {
    std::string address, says;
  };
  const Case cases[] = {
      {bound, "the port is in use"},   {"192.0.2.7:0", "no such address on this machine"},
      {"127.0.0.1", "not an address"}, {"127.0.0.1:70000", "not an address"},
      {"[::1:9100", "not an address"},
  };
  for (const Case& c : cases) {
    error.clear();
    EXPECT_EQ(server::OpenListener(c.address, &error), -1) << c.address;
    EXPECT_EQ(error.rfind(c.address + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
  close(fd);
}

}  // namespace
}  // namespace tillvane::testing
