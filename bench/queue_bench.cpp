// The print-queue link against a private CUPS daemon: a 2000-byte job sent one byte
// per SendData call (as the command-file stream sends) against the same bytes in one
// call. Each iteration is a whole job: start, writes, end. Prints the ratio at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "link/link_state.h"
#include "link/print_queue.h"
#include "link/send_data.h"
#include "tests/rigs/cups_rig.h"

namespace {

using tillvane::EndJobDocument;
using tillvane::SendData;
using tillvane::StartJobDocument;

constexpr int kJobBytes = 2000;
constexpr int kIterations = 200;

std::vector<uint8_t> JobBytes() {
  std::vector<uint8_t> bytes(kJobBytes);
  for (int i = 0; i < kJobBytes; ++i) bytes[i] = static_cast<uint8_t>(i * 31);
  return bytes;
}

void BM_QueueJobOneBytePerCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes = JobBytes();
  for (auto _ : state) {
    if (!StartJobDocument()) {
      state.SkipWithError("the document could not be started");
      return;
    }
    for (int i = 0; i < kJobBytes; ++i) {
      if (SendData(&bytes[i], 1) != 0) {
        state.SkipWithError("a send failed");
        return;
      }
    }
    EndJobDocument();
  }
  state.SetBytesProcessed(state.iterations() * kJobBytes);
}

void BM_QueueJobOneCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes = JobBytes();
  for (auto _ : state) {
    if (!StartJobDocument()) {
      state.SkipWithError("the document could not be started");
      return;
    }
    if (SendData(bytes.data(), kJobBytes) != 0) {
      state.SkipWithError("the send failed");
      return;
    }
    EndJobDocument();
  }
  state.SetBytesProcessed(state.iterations() * kJobBytes);
}

// The writes alone, inside one document that spans every iteration: the cost of the
// per-call path without the server's job round trips.
void BM_QueueWritesOneBytePerCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes = JobBytes();
  if (!StartJobDocument()) {
    state.SkipWithError("the document could not be started");
    return;
  }
  for (auto _ : state) {
    for (int i = 0; i < kJobBytes; ++i) {
      if (SendData(&bytes[i], 1) != 0) {
        state.SkipWithError("a send failed");
        return;
      }
    }
  }
  EndJobDocument();  // after the timed loop
  state.SetBytesProcessed(state.iterations() * kJobBytes);
}

void BM_QueueWritesOneCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes = JobBytes();
  if (!StartJobDocument()) {
    state.SkipWithError("the document could not be started");
    return;
  }
  for (auto _ : state) {
    if (SendData(bytes.data(), kJobBytes) != 0) {
      state.SkipWithError("the send failed");
      return;
    }
  }
  EndJobDocument();  // after the timed loop
  state.SetBytesProcessed(state.iterations() * kJobBytes);
}

BENCHMARK(BM_QueueJobOneBytePerCall)->Iterations(kIterations)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueueJobOneCall)->Iterations(kIterations)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueueWritesOneBytePerCall)->Iterations(kIterations)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueueWritesOneCall)->Iterations(kIterations)->Unit(benchmark::kMicrosecond);

// Console output as usual, keeping each run's real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        times[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::pair<double, double>> times;  // real, CPU
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tillvane::rigs::CupsRig rig;
  if (!rig.Ready()) {
    std::fprintf(stderr, "queue_bench: %s\n", rig.Error().c_str());
    return 1;
  }
  if (rig.AddRawQueue("Vorn_Bench").empty() || !tillvane::OpenPrintQueue("Vorn_Bench")) {
    std::fprintf(stderr, "queue_bench: the queue could not be set up: %s\n", rig.Error().c_str());
    return 1;
  }
  tillvane::Links().Kind = tillvane::LinkKind::PrintQueue;

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto ratio = [&](const char* per_byte_name, const char* one_call_name, const char* what) {
    const auto per_byte = reporter.times.find(std::string(per_byte_name) + "/iterations:200");
    const auto one_call = reporter.times.find(std::string(one_call_name) + "/iterations:200");
    if (per_byte == reporter.times.end() || one_call == reporter.times.end() ||
        one_call->second.first <= 0 || one_call->second.second <= 0) {
      return;
    }
    std::printf("one byte per call / one call, %s: real time %.2f, CPU time %.2f\n", what,
                per_byte->second.first / one_call->second.first,
                per_byte->second.second / one_call->second.second);
  };
  ratio("BM_QueueJobOneBytePerCall", "BM_QueueJobOneCall", "whole 2000-byte jobs");
  ratio("BM_QueueWritesOneBytePerCall", "BM_QueueWritesOneCall", "2000 bytes of writes only");
  tillvane::CloseLinkOf(tillvane::LinkKind::PrintQueue);
  rig.WaitForJobs(30000);
  return 0;
}
