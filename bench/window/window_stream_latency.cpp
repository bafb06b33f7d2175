// How responsive the window stays while the command-file stream of a 10 MB file runs
// into the simulated serial printer at full speed: a timer on the window's thread asks
// to run every 10 ms and the program records how late each tick comes, first with the
// window idle, then during the stream. Prints the stream's time and both latencies.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "link/link_state.h"
#include "link/serial_port.h"
#include "session/sender_gate.h"
#include "session/starters.h"
#include "tests/rigs/serial_printer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTickMs = 10;

struct Latency {
  std::vector<double> late_ms;
  void Print(const char* what) {
    if (late_ms.empty()) return;
    std::sort(late_ms.begin(), late_ms.end());
    auto at = [&](double q) { return late_ms[static_cast<size_t>(q * (late_ms.size() - 1))]; };
    std::printf("%-28s ticks %5zu  late p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms\n", what,
                late_ms.size(), at(0.5), at(0.99), late_ms.back());
  }
};

// Runs the event loop with a 10 ms timer until `done` says so, recording lateness.
template <class Done>
Latency Measure(Done done) {
  Latency latency;
  // A loop of its own: quitting the application would close the window.
  QEventLoop loop;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  auto expected = Clock::now() + std::chrono::milliseconds(kTickMs);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    latency.late_ms.push_back(
        std::max(0.0, std::chrono::duration<double, std::milli>(now - expected).count()));
    expected = now + std::chrono::milliseconds(kTickMs);
    if (done()) loop.quit();
  });
  timer.start(kTickMs);
  loop.exec();
  return latency;
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "tillvane-stream-latency";
  fs::create_directories(dir);
  const fs::path file = dir / "commands.dat";
  {
    std::vector<char> bytes(10 * 1000 * 1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(file, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  tillvane::TMainForm form(TILLVANE_BIN_DIR);
  form.show();
  tillvane::rigs::SimSerialPrinter printer;
  std::string error;
  if (!printer.Start(&error)) {
    std::fprintf(stderr, "simulated printer: %s\n", error.c_str());
    return 1;
  }
  tillvane::SerialSettings settings;
  settings.device = printer.device_path();
  if (!tillvane::OpenSerialPort(settings)) return 1;
  tillvane::SetSerialTimeoutsForUse();
  tillvane::Links().Kind = tillvane::LinkKind::Serial;

  const auto idle_end = Clock::now() + std::chrono::seconds(2);
  Latency idle = Measure([&] { return Clock::now() >= idle_end; });

  if (!tillvane::jobs::BeginCommandFileChoice()) return 1;
  const auto start = Clock::now();
  if (tillvane::jobs::StartCommandFileStream(form.JobDispatcher(), form, file.string(),
                                             TILLVANE_BIN_DIR) !=
      tillvane::jobs::StartResult::Started)
    return 1;
  Latency streaming = Measure([] { return !tillvane::SendingInProgress(); });
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::printf("10 MB command-file stream into the simulated serial printer: %.2f s (%.2f MB/s)\n",
              seconds, 10.0 / seconds);
  idle.Print("window idle");
  streaming.Print("window during the stream");
  std::fflush(stdout);
  form.close();
  fs::remove_all(dir);
  return 0;
}
