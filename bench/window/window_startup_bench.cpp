// Time from creating the main window to its first shown (exposed) frame, against a
// minimal Qt window shown the same way in the same run. Runs on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise; the ratio is printed at the end.
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <chrono>
#include <cstdio>

#include <benchmark/benchmark.h>

#include "app/main_form.h"

namespace {

double g_main_form_ns = 0;
double g_minimal_ns = 0;

template <class MakeWindow>
void ShowAndClose(benchmark::State& state, MakeWindow make, double* mean_ns) {
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    auto window = make();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) state.SkipWithError("window not exposed");
    QApplication::processEvents();
    const auto shown = std::chrono::steady_clock::now();
    total += std::chrono::duration<double, std::nano>(shown - start).count();
    state.PauseTiming();
    window->close();
    window.reset();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  *mean_ns = total / static_cast<double>(state.iterations());
}

void BM_MinimalWindow(benchmark::State& state) {
  ShowAndClose(
      state,
      [] {
        auto w = std::make_unique<QLabel>(QStringLiteral("Tillvane"));
        w->setFixedSize(685, 548);
        return w;
      },
      &g_minimal_ns);
}
BENCHMARK(BM_MinimalWindow)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_MainFormStartUp(benchmark::State& state) {
  ShowAndClose(
      state, [] { return std::make_unique<tillvane::TMainForm>(TILLVANE_BIN_DIR); },
      &g_main_form_ns);
}
BENCHMARK(BM_MainFormStartUp)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // No machine print server is asked: the start-up lists queues of none.
  if (qEnvironmentVariableIsEmpty("CUPS_SERVER"))
    qputenv("CUPS_SERVER", "/nonexistent/tillvane-bench/cups.sock");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_minimal_ns > 0 && g_main_form_ns > 0) {
    std::printf("main window start-up / minimal window: %.2f (%.2f ms / %.2f ms)\n",
                g_main_form_ns / g_minimal_ns, g_main_form_ns / 1e6, g_minimal_ns / 1e6);
  }
  return 0;
}
