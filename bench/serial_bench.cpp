// SendData over the serial link into the simulated printer on a pseudo-terminal,
// against plain write() of the same bytes to the same terminal.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "link/link_state.h"
#include "link/send_data.h"
#include "link/serial_port.h"
#include "tests/rigs/serial_printer.h"

namespace {

using tillvane::rigs::SimSerialPrinter;

struct Rig {
  SimSerialPrinter printer;
  int raw_fd = -1;     // descriptors of their own for the plain writes: blocking,
  int raw_nb_fd = -1;  // and non-blocking with poll, as the link writes
  bool ok = false;

  Rig() {
    printer.SetMode(SimSerialPrinter::Mode::Silent);
    printer.SetRecording(false);
    std::string error;
    if (!printer.Start(&error)) {
      std::fprintf(stderr, "simulated printer: %s\n", error.c_str());
      return;
    }
    // Opened before the link claims the terminal exclusively.
    raw_fd = ::open(printer.device_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    raw_nb_fd = ::open(printer.device_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    tillvane::SerialSettings s;
    s.device = printer.device_path();
    s.baud_rate = tillvane::BaudRate::Baud57600;
    s.flow = tillvane::FlowControl::DtrDsr;
    if (raw_fd < 0 || raw_nb_fd < 0 || !tillvane::OpenSerialPort(s)) {
      std::fprintf(stderr, "cannot open %s\n", s.device.c_str());
      return;
    }
    tillvane::SetSerialTimeoutsForUse();
    tillvane::Links().Kind = tillvane::LinkKind::Serial;
    ok = true;
  }
  ~Rig() {
    tillvane::CloseSerialPort();
    tillvane::Links().Kind = tillvane::LinkKind::None;
    if (raw_fd >= 0) ::close(raw_fd);
    if (raw_nb_fd >= 0) ::close(raw_nb_fd);
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

std::vector<uint8_t> Block(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31);
  return b;
}

void BM_SendData(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ok) return state.SkipWithError("no simulated printer");
  const auto bytes = Block(static_cast<size_t>(state.range(0)));
  const auto n = static_cast<int32_t>(bytes.size());
  for (auto _ : state) {
    if (tillvane::SendData(bytes.data(), n) != 0) return state.SkipWithError("SendData failed");
  }
  state.SetBytesProcessed(state.iterations() * n);
}

void BM_PlainWrite(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ok) return state.SkipWithError("no simulated printer");
  const auto bytes = Block(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t w = ::write(rig.raw_fd, bytes.data() + done, bytes.size() - done);
      if (w <= 0) return state.SkipWithError("write failed");
      done += static_cast<size_t>(w);
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_PlainWritePoll(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ok) return state.SkipWithError("no simulated printer");
  const auto bytes = Block(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t w = ::write(rig.raw_nb_fd, bytes.data() + done, bytes.size() - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
        continue;
      }
      if (w < 0 && errno != EAGAIN) return state.SkipWithError("write failed");
      pollfd p{rig.raw_nb_fd, POLLOUT, 0};
      ::poll(&p, 1, 1000);
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

BENCHMARK(BM_SendData)->Arg(1)->Arg(4096)->UseRealTime();
BENCHMARK(BM_PlainWrite)->Arg(1)->Arg(4096)->UseRealTime();
BENCHMARK(BM_PlainWritePoll)->Arg(1)->Arg(4096)->UseRealTime();

// Keeps the time per iteration of each run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(1) ? OO_Defaults : OO_Tabular) {}
  // With repetitions the median stands for the benchmark, else its one run.
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
        ns_[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    GetOutputStream().flush();
    for (const char* arg : {"1", "4096"}) {
      auto send = ns_.find(std::string("BM_SendData/") + arg);
      if (send == ns_.end()) continue;
      for (const char* base : {"BM_PlainWrite/", "BM_PlainWritePoll/"}) {
        auto plain = ns_.find(base + std::string(arg));
        if (plain == ns_.end() || plain->second <= 0) continue;
        std::printf("SendData / %s at %s byte(s) per call: %.2f\n",
                    base[13] == 'P' ? "non-blocking write()+poll" : "blocking write()", arg,
                    send->second / plain->second);
      }
    }
  }

 private:
  std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
