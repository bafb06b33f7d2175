// The command-file stream of a 10 MB file over the network link into the simulated
// network printer on the loopback interface, against socat sending the same file to
// the same listener. One run times both, alternately, and prints the ratio of their
// throughputs (Tillvane / socat; 1.0 means as fast as socat).
//
//   network_stream_bench [ROUNDS]     (5 rounds unless told; the median of each counts)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "link/link_state.h"
#include "link/network_link.h"
#include "session/dispatcher.h"
#include "session/job_thread.h"
#include "session/job_window.h"
#include "session/starters.h"
#include "tests/rigs/network_printer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr size_t kFileSize = 10 * 1024 * 1024;

fs::path WriteCommandFile(const fs::path& dir) {
  const fs::path p = dir / "stream.dat";
  std::vector<uint8_t> data(kFileSize);
  uint32_t x = 12345;
  for (auto& b : data) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
  FILE* f = std::fopen(p.c_str(), "wb");
  if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size()) std::abort();
  std::fclose(f);
  return p;
}

class NullWindow : public tillvane::jobs::JobWindow {
 public:
  void SetStatusText(const std::string&, tillvane::jobs::Rgb) override {}
  void SetProgress(int32_t) override {}
  void SetButtonEnabled(tillvane::jobs::IndexButton, bool) override {}
};

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Applying the link, streaming the file through the job, closing the link (with its
// closing handshake), until the printer has every byte.
double StreamWithTillvane(tillvane::rigs::SimNetworkPrinter& printer, const fs::path& file) {
  printer.ClearReceived();
  const auto start = Clock::now();
  if (!tillvane::OpenNetworkPrinter(printer.Address(), {})) {
    std::fprintf(stderr, "cannot connect: %s\n",
                 tillvane::LastNetworkOpenError().Message().c_str());
    std::exit(1);
  }
  tillvane::Links().Kind = tillvane::LinkKind::Network;
  tillvane::jobs::QueueDispatcher dispatcher;
  NullWindow window;
  if (tillvane::jobs::StartCommandFileStream(dispatcher, window, file.string(),
                                             file.parent_path().string()) !=
      tillvane::jobs::StartResult::Started)
    std::exit(1);
  dispatcher.PumpUntil([] { return tillvane::jobs::RunningJobs() == 0; }, 600000);
  tillvane::jobs::WaitForJobs(dispatcher);
  tillvane::CloseNetworkPrinter();
  tillvane::Links().Kind = tillvane::LinkKind::None;
  if (!printer.WaitForReceived(kFileSize, 60000)) {
    std::fprintf(stderr, "the printer missed bytes\n");
    std::exit(1);
  }
  return Seconds(start);
}

double StreamWithSocat(tillvane::rigs::SimNetworkPrinter& printer, const fs::path& file) {
  printer.ClearReceived();
  const std::string from = "OPEN:" + file.string() + ",rdonly";
  const std::string to = "TCP:127.0.0.1:" + std::to_string(printer.port()) + ",nodelay";
  const char* argv[] = {"socat", "-u", from.c_str(), to.c_str(), nullptr};
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "socat", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    std::fprintf(stderr, "cannot start socat (install the socat package)\n");
    std::exit(1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!printer.WaitForReceived(kFileSize, 60000)) {
    std::fprintf(stderr, "socat: the printer missed bytes\n");
    std::exit(1);
  }
  return Seconds(start);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir =
      fs::temp_directory_path() / ("tillvane-net-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = WriteCommandFile(dir);

  tillvane::rigs::SimNetworkPrinter printer;
  std::string error;
  if (!printer.Start(tillvane::rigs::SimNetworkPrinter::Family::IPv4, 0, &error)) {
    std::fprintf(stderr, "cannot start the simulated printer: %s\n", error.c_str());
    return 1;
  }
  printer.SetRecording(false);
  printer.SetSilent(true);  // random data holds request sequences; no answers wanted

  std::vector<double> ours, theirs;
  for (int i = 0; i < rounds; ++i) {
    ours.push_back(StreamWithTillvane(printer, file));
    theirs.push_back(StreamWithSocat(printer, file));
  }
  printer.Stop();
  std::error_code ec;
  fs::remove_all(dir, ec);

  const double mb = static_cast<double>(kFileSize) / (1024.0 * 1024.0);
  const double t_ours = Median(ours), t_socat = Median(theirs);
  std::printf("10 MB command file over loopback, median of %d rounds\n", rounds);
  std::printf("  Tillvane network link, file job, 4096-byte blocks: %8.1f ms  %8.1f MB/s\n",
              t_ours * 1000, mb / t_ours);
  std::printf("  socat -u to the same listener:                      %8.1f ms  %8.1f MB/s\n",
              t_socat * 1000, mb / t_socat);
  std::printf("  throughput ratio Tillvane / socat: %.2f\n", t_socat / t_ours);
  return 0;
}
