// The virtual printer's speed and memory:
// - BM_Document/<name>: one sample document (its logos downloaded beforehand) rendered,
//   with `serial_ratio` = the time its bytes take over a serial line at 115200 baud (10
//   bits a byte) divided by the time to render them (aim: at least 100);
// - BM_SampleReceipt: the 80 mm sample receipt, receipts per second (aim: at least 500);
// - BM_QrReceipt: an 80 mm receipt with a QR code of 60 characters (GS ( k), receipts
//   per second (aim: at least 2000), beside BM_SampleReceipt as its anchor;
// - BM_Picture/<form>: a picture 512 x 2000 dots of random bits, the same sent as GS v 0
//   (the anchor) and as GS 8 L fn 112 then GS ( L fn 50, printed whole;
// - BM_CodePageText/0 and /16: the same lines of Western text in PC437 and in
//   WPC1252 (ESC t 16), both in the intl profile (aim: WPC1252 within 1.1 times PC437);
// - BM_RandomTenMegabytes: 10 MB of random bytes, with the process's peak resident
//   memory in `peak_rss_mb` (its growth over the run in `rss_growth_mb`).
#include <sys/resource.h>

#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "render/printer.h"
#include "tests/render/document_bytes.h"
#include "tests/render/render_support.h"
#include "tests/render_2d/symbol_bytes.h"

namespace {

using tillvane::render::Page;
using tillvane::render::Printer;
using tillvane::render::PrinterOptions;
namespace rt = tillvane::render::testing;

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void BM_Document(benchmark::State& state, const rt::SampleDocument* d) {
  const std::vector<uint8_t> logos = rt::LogoDownloadBytes();
  const std::vector<uint8_t> bytes = rt::DocumentBytes(*d);
  PrinterOptions options;
  options.paper_dots = d->narrow ? tillvane::render::kDotsNarrow : tillvane::render::kDots80mm;
  uint64_t pages = 0;
  Printer printer(options, [&pages](Page&&) { ++pages; });
  printer.Feed(logos);
  for (auto _ : state) {
    printer.Feed(bytes);
    printer.Finish();
  }
  const double serial_seconds = static_cast<double>(bytes.size()) * 10.0 / 115200.0;
  state.counters["bytes"] = static_cast<double>(bytes.size());
  state.counters["serial_ms"] = serial_seconds * 1000.0;
  // Iterations per second times the serial time of one: how many times faster.
  state.counters["serial_ratio"] =
      benchmark::Counter(serial_seconds, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["pages"] = static_cast<double>(pages) / static_cast<double>(state.iterations());
}

void BM_SampleReceipt(benchmark::State& state) {
  const std::vector<uint8_t> bytes = rt::DocumentBytes(rt::SampleDocuments()[0]);
  Printer printer({}, [](Page&& p) { benchmark::DoNotOptimize(p.dots.height()); });
  for (auto _ : state) printer.Feed(bytes);
  state.SetItemsProcessed(state.iterations());  // receipts
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_SampleReceipt);

void BM_QrReceipt(benchmark::State& state) {
  const std::vector<uint8_t> bytes = rt::QrReceipt(tillvane::render::kDots80mm);
  Printer printer({}, [](Page&& p) { benchmark::DoNotOptimize(p.dots.height()); });
  for (auto _ : state) printer.Feed(bytes);
  if (printer.report().refused != 0 || printer.report().pages == 0)
    state.SkipWithError("the QR receipt did not print");
  state.SetItemsProcessed(state.iterations());  // receipts
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_QrReceipt);
void BM_Picture(benchmark::State& state) {
  std::mt19937 rng(2000);
  const tillvane::render::Bitmap pic =
      rt::Drawn(512, 2000, [&rng](int, int) { return (rng() & 3) == 0; });
  const std::vector<uint8_t> bytes =
      state.range(0) == 0
          ? rt::RasterImage(0, pic)
          : rt::Cat({rt::Gs8L(rt::BufferGraphic(112, 1, 1, pic)), rt::GsParenL({48, 50})});
  Printer printer({}, [](Page&& p) { benchmark::DoNotOptimize(p.dots.height()); });
  for (auto _ : state) {
    printer.Feed(bytes);
    printer.Finish();
  }
  state.SetLabel(state.range(0) == 0 ? "GS v 0" : "GS 8 L fn 112, fn 50");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Picture)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Forty lines of "Crème brûlée à 4,50 — Façade Übergröße" in the bytes of code page `n`.
std::vector<uint8_t> WesternText(int n) {
  // The letters above 0x7F at their places in PC437 and in WPC1252.
  const bool pc437 = n == 0;
  const uint8_t e_grave = pc437 ? 0x8A : 0xE8, u_circ = pc437 ? 0x96 : 0xFB,
                e_acute = pc437 ? 0x82 : 0xE9, a_grave = pc437 ? 0x85 : 0xE0,
                c_cedil = pc437 ? 0x87 : 0xE7, u_uml = pc437 ? 0x9A : 0xDC,
                o_uml = pc437 ? 0x94 : 0xF6, sz = pc437 ? 0xE1 : 0xDF;
  const std::vector<uint8_t> line = {
      'C',     'r',   e_grave, 'm', 'e', ' ', 'b', 'r',   u_circ, 'l',     e_acute, 'e', ' ',
      a_grave, ' ',   '4',     ',', '5', '0', ' ', 'F',   'a',    c_cedil, 'a',     'd', 'e',
      ' ',     u_uml, 'b',     'e', 'r', 'g', 'r', o_uml, sz,     'e',     '\n'};
  std::vector<uint8_t> out = {0x1B, 't', static_cast<uint8_t>(n)};
  for (int i = 0; i < 40; ++i) out.insert(out.end(), line.begin(), line.end());
  return out;
}

void BM_CodePageText(benchmark::State& state) {
  const std::vector<uint8_t> bytes = WesternText(static_cast<int>(state.range(0)));
  PrinterOptions options;
  options.profile = tillvane::render::Profile::kIntl;
  Printer printer(options, [](Page&& p) { benchmark::DoNotOptimize(p.dots.height()); });
  for (auto _ : state) {
    printer.Feed(bytes);
    printer.Finish();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_CodePageText)->Arg(0)->Arg(16)->Unit(benchmark::kMicrosecond);

void BM_RandomTenMegabytes(benchmark::State& state) {
  std::mt19937 rng(20261208);
  std::vector<uint8_t> in(10 << 20);
  for (auto& b : in) b = static_cast<uint8_t>(rng());
  const double before = PeakRssMb();
  uint64_t pages = 0;
  for (auto _ : state) {
    Printer printer({}, [&pages](Page&&) { ++pages; });
    for (size_t i = 0; i < in.size(); i += 4096)
      printer.Feed(in.data() + i, std::min<size_t>(4096, in.size() - i));
    printer.Finish();
    state.counters["unknown_bytes"] = static_cast<double>(printer.report().unknown_bytes);
  }
  state.counters["peak_rss_mb"] = PeakRssMb();
  state.counters["rss_growth_mb"] = PeakRssMb() - before;
  state.counters["pages"] = static_cast<double>(pages) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_RandomTenMegabytes)->Unit(benchmark::kMillisecond)->Iterations(2);

const bool registered = [] {
  for (const auto& d : rt::SampleDocuments())
    benchmark::RegisterBenchmark(("BM_Document/" + std::string(d.name)).c_str(), BM_Document, &d)
        ->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
