// The command-file stream of a 10 MB file through the serial link into the simulated
// serial printer on its pseudo-terminal, the printer reading as fast as it can,
// against copying the same file to the same pseudo-terminal with cat and with a plain
// read/write loop, and one write() per byte without the job around it. The stream also
// reports the latency of its synchronised calls: the time from the worker asking
// until the call runs on the "window's" thread.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "link/link_state.h"
#include "link/serial_port.h"
#include "session/dispatcher.h"
#include "session/job_thread.h"
#include "session/starters.h"
#include "tests/rigs/serial_printer.h"

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

// The simulated serial printer, started once and reading as fast as it can; every
// benchmark writes to its device, and waits until the printer has taken every byte.
tillvane::rigs::SimSerialPrinter& Printer() {
  static tillvane::rigs::SimSerialPrinter* printer = [] {
    auto* p = new tillvane::rigs::SimSerialPrinter;
    if (!p->Start()) std::abort();
    p->SetMode(tillvane::rigs::SimSerialPrinter::Mode::Silent);
    p->SetRecording(false);
    return p;
  }();
  return *printer;
}

bool WaitForPrinter() {
  const bool all = Printer().WaitForReceived(static_cast<size_t>(kFileSize), 600000);
  Printer().ClearReceived();
  return all;
}

int OpenDevice() {
  return ::open(Printer().device_path().c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
}

bool WriteAll(int fd, const uint8_t* b, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, b, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    b += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

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
    tillvane::ResetLinkState();
    tillvane::SerialSettings settings;
    settings.device = Printer().device_path();
    settings.baud_rate = tillvane::BaudRate::Baud9600;  // the pseudo-terminal takes bytes at full
                                                        // speed whatever the rate
    if (!tillvane::OpenSerialPort(settings)) {
      static std::string why;
      why = "cannot open the simulated printer's port: " + tillvane::LastSerialOpenError();
      state.SkipWithError(why.c_str());
      return;
    }
    tillvane::SetSerialTimeoutsForUse();
    tillvane::Links().Kind = tillvane::LinkKind::Serial;
    TimingDispatcher dispatcher;
    dispatcher.latencies().reserve(4096);
    NullWindow window;
    if (tillvane::jobs::StartCommandFileStream(dispatcher, window, file.string(), folder) !=
        tillvane::jobs::StartResult::Started) {
      state.SkipWithError("the stream did not start");
      return;
    }
    dispatcher.inner().PumpUntil([] { return tillvane::jobs::RunningJobs() == 0; }, 600000);
    tillvane::jobs::WaitForJobs(dispatcher);
    if (!WaitForPrinter()) state.SkipWithError("the printer missed bytes");
    tillvane::CloseSerialPort();
    tillvane::ResetLinkState();
    state.counters["sync_calls"] = static_cast<double>(dispatcher.latencies().size());
    state.counters["sync_p50_us"] = Percentile(dispatcher.latencies(), 0.5);
    state.counters["sync_p99_us"] = Percentile(dispatcher.latencies(), 0.99);
    state.counters["sync_max_us"] = Percentile(dispatcher.latencies(), 1.0);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_CommandFileStreamToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_CatToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  Printer();
  for (auto _ : state) {
    int device = OpenDevice();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, device, STDOUT_FILENO);
    const char* argv[] = {"cat", file.c_str(), nullptr};
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, "cat", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(device);
    if (spawned != 0) {
      state.SkipWithError("cannot start cat");
      return;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WaitForPrinter()) state.SkipWithError("the printer missed bytes");
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_CatToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReadWriteLoopToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  Printer();
  std::vector<uint8_t> buf(1 << 16);
  for (auto _ : state) {
    int device = OpenDevice();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;)
      WriteAll(device, buf.data(), static_cast<size_t>(n));
    ::close(fd);
    ::close(device);
    if (!WaitForPrinter()) state.SkipWithError("the printer missed bytes");
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_ReadWriteLoopToPty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The floor for a byte-by-byte stream: one write() per byte, nothing else.
void BM_ByteWritesToPty(benchmark::State& state) {
  const fs::path& file = CommandFile();
  Printer();
  std::vector<uint8_t> buf(1 << 16);
  for (auto _ : state) {
    int device = OpenDevice();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;)
      for (ssize_t i = 0; i < n; ++i) WriteAll(device, &buf[static_cast<size_t>(i)], 1);
    ::close(fd);
    ::close(device);
    if (!WaitForPrinter()) state.SkipWithError("the printer missed bytes");
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
