// The command-file stream of a 10 MB file into a pseudo-terminal with a reader that
// keeps pace (a printer that never holds back), against copying the same file to the
// same kind of pseudo-terminal with cat and with a plain read/write loop, and one
// write() per byte without the job around it. The stream also reports the latency of
// its synchronised calls: the time from the worker asking until the call runs on the
// "window's" thread.
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "link/backends.h"
#include "link/jobs/dispatcher.h"
#include "link/jobs/job_thread.h"
#include "link/jobs/starters.h"
#include "link/link_state.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int64_t kFileSize = 10 * 1000 * 1000;

// The 10 MB command file, written once.
const fs::path& CommandFile() {
  static const fs::path path = [] {
    fs::path dir = fs::temp_directory_path() / ("tillvane-job-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::path p = dir / "stream.dat";
    std::vector<uint8_t> chunk(1 << 16);
    FILE* f = std::fopen(p.c_str(), "wb");
    uint32_t x = 12345;
    for (int64_t done = 0; done < kFileSize;) {
      for (auto& b : chunk) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
      size_t n = static_cast<size_t>(
          std::min<int64_t>(static_cast<int64_t>(chunk.size()), kFileSize - done));
      std::fwrite(chunk.data(), 1, n, f);
      done += static_cast<int64_t>(n);
    }
    std::fclose(f);
    return p;
  }();
  return path;
}

// A pseudo-terminal in raw mode, and a printer side that reads everything as it comes.
struct Pty {
  int master = -1, slave = -1;
  Pty() {
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
  }
  ~Pty() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
  bool ok() const { return master >= 0 && slave >= 0; }
};

class Drain {
 public:
  Drain(int fd, int64_t expected) : thread_([this, fd, expected] { Run(fd, expected); }) {}
  int64_t Join() {
    thread_.join();
    return received_;
  }

 private:
  void Run(int fd, int64_t expected) {
    std::vector<uint8_t> buf(1 << 16);
    while (received_ < expected) {
      ssize_t n = ::read(fd, buf.data(), buf.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      received_ += n;
    }
  }
  int64_t received_ = 0;
  std::thread thread_;
};

// The serial row on the slave side: one write() per send.
class PtySerial : public tillvane::SerialBackend {
 public:
  explicit PtySerial(int fd) : fd_(fd) {}
  int32_t Write(const uint8_t* b, int32_t n) override {
    int32_t done = 0;
    while (done < n) {
      ssize_t w = ::write(fd_, b + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return done > 0 ? done : -1;
      done += static_cast<int32_t>(w);
    }
    return done;
  }
  bool Purge() override { return ::tcflush(fd_, TCIOFLUSH) == 0; }
  int32_t ReceiveQueueCount() override { return 0; }

 private:
  int fd_;
};

// Times each synchronised call from the worker's request to its start.
class TimingDispatcher : public tillvane::jobs::Dispatcher {
 public:
  bool OnWindowThread() const override { return inner_.OnWindowThread(); }
  void Run(const std::function<void()>& fn) override {
    const auto asked = Clock::now();
    inner_.Run([&] {
      latencies_us_.push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - asked).count());
      fn();
    });
  }
  void ProcessPending() override { inner_.ProcessPending(); }
  tillvane::jobs::QueueDispatcher& inner() { return inner_; }
  std::vector<double>& latencies() { return latencies_us_; }

 private:
  tillvane::jobs::QueueDispatcher inner_;
  std::vector<double> latencies_us_;
};

class NullWindow : public tillvane::jobs::JobWindow {
 public:
  void SetStatusText(const std::string& text, tillvane::jobs::Rgb) override { last = text; }
  void SetProgress(int32_t) override {}
  void SetButtonEnabled(tillvane::jobs::IndexButton, bool) override {}
  std::string last;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

void BM_CommandFileStreamToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  const std::string folder = file.parent_path().string();
  for (auto _ : state) {
    Pty pty;
    if (!pty.ok()) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    tillvane::ResetLinkState();
    tillvane::SetSerialHandle(std::make_unique<PtySerial>(pty.slave));
    tillvane::Links().LinkKind = tillvane::LinkSerial;
    TimingDispatcher dispatcher;
    dispatcher.latencies().reserve(4096);
    NullWindow window;
    Drain drain(pty.master, kFileSize);
    if (tillvane::jobs::StartCommandFileStream(dispatcher, window, file.string(), folder) !=
        tillvane::jobs::StartResult::Started) {
      state.SkipWithError("the stream did not start");
      return;
    }
    dispatcher.inner().PumpUntil([] { return tillvane::jobs::RunningJobs() == 0; }, 600000);
    tillvane::jobs::WaitForJobs(dispatcher);
    const int64_t got = drain.Join();
    if (got != kFileSize) state.SkipWithError("the printer side missed bytes");
    state.counters["sync_calls"] = static_cast<double>(dispatcher.latencies().size());
    state.counters["sync_p50_us"] = Percentile(dispatcher.latencies(), 0.5);
    state.counters["sync_p99_us"] = Percentile(dispatcher.latencies(), 0.99);
    state.counters["sync_max_us"] = Percentile(dispatcher.latencies(), 1.0);
    tillvane::ResetLinkState();
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_CommandFileStreamToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_CatToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  for (auto _ : state) {
    Pty pty;
    Drain drain(pty.master, kFileSize);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pty.slave, STDOUT_FILENO);
    const char* argv[] = {"cat", file.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cat", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("cannot start cat");
      return;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (drain.Join() != kFileSize) state.SkipWithError("the printer side missed bytes");
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_CatToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReadWriteLoopToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  std::vector<uint8_t> buf(1 << 16);
  for (auto _ : state) {
    Pty pty;
    Drain drain(pty.master, kFileSize);
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    PtySerial out(pty.slave);
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;)
      out.Write(buf.data(), static_cast<int32_t>(n));
    ::close(fd);
    if (drain.Join() != kFileSize) state.SkipWithError("the printer side missed bytes");
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_ReadWriteLoopToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The floor for a byte-by-byte stream: one write() per byte, nothing else.
void BM_ByteWritesToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  std::vector<uint8_t> buf(1 << 16);
  for (auto _ : state) {
    Pty pty;
    Drain drain(pty.master, kFileSize);
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    PtySerial out(pty.slave);
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;)
      for (ssize_t i = 0; i < n; ++i) out.Write(&buf[static_cast<size_t>(i)], 1);
    ::close(fd);
    if (drain.Join() != kFileSize) state.SkipWithError("the printer side missed bytes");
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_ByteWritesToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(CommandFile().parent_path(), ec);
  return 0;
}
