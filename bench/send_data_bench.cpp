// The per-call send path: SendData into a back end that only counts, and into the
// command file, beside the same bytes written with bare system calls in the same run.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "link/link_state.h"
#include "link/send_data.h"

namespace {

using namespace tillvane;

// A serial link that takes every byte and remembers only how many.
class CountingSerial : public SerialBackend {
 public:
  int32_t Write(const uint8_t*, int32_t n) override {
    taken_ += n;
    return n;
  }
  bool Purge() override { return true; }
  int32_t ReceiveQueueCount() override { return 0; }
  int64_t taken_ = 0;
};

// A serial link whose write is one real system call, to /dev/null.
class DevNullSerial : public SerialBackend {
 public:
  DevNullSerial() : fd_(::open("/dev/null", O_WRONLY)) {}
  ~DevNullSerial() override { ::close(fd_); }
  int32_t Write(const uint8_t* b, int32_t n) override {
    return static_cast<int32_t>(::write(fd_, b, static_cast<size_t>(n)));
  }
  bool Purge() override { return true; }
  int32_t ReceiveQueueCount() override { return 0; }

 private:
  int fd_;
};

struct BenchDir {
  BenchDir() {
    std::string t = (std::filesystem::temp_directory_path() / "tillvane-bench-XXXXXX").string();
    path = ::mkdtemp(t.data());
    previous = std::filesystem::current_path();
    std::filesystem::current_path(path);
  }
  ~BenchDir() {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(path);
  }
  std::filesystem::path path, previous;
};

const uint8_t kBytes[4096] = {0x1B, 0x40};

void BM_SendData_CountingLink(benchmark::State& state) {
  ResetLinkState();
  auto link = std::make_unique<CountingSerial>();
  SetLink(std::move(link));
  Links().Kind = LinkKind::Serial;
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(SendData(kBytes, n));
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * n);
  ResetLinkState();
}
BENCHMARK(BM_SendData_CountingLink)->Arg(1)->Arg(64);

void BM_SendData_DevNullLink(benchmark::State& state) {
  ResetLinkState();
  SetLink(std::make_unique<DevNullSerial>());
  Links().Kind = LinkKind::Serial;
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(SendData(kBytes, n));
  state.SetItemsProcessed(state.iterations());
  ResetLinkState();
}
BENCHMARK(BM_SendData_DevNullLink)->Arg(1)->Arg(64);

void BM_BareWrite_DevNull(benchmark::State& state) {
  int fd = ::open("/dev/null", O_WRONLY);
  const size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(::write(fd, kBytes, n));
  state.SetItemsProcessed(state.iterations());
  ::close(fd);
}
BENCHMARK(BM_BareWrite_DevNull)->Arg(1)->Arg(64);

void BM_SendData_CommandFile(benchmark::State& state) {
  BenchDir dir;
  ResetLinkState();
  Links().PrintToFile = true;
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(SendData(kBytes, n));
  state.SetItemsProcessed(state.iterations());
  ResetLinkState();
}
BENCHMARK(BM_SendData_CommandFile)->Arg(1)->Arg(64);

// What the command-file copy costs at the least: the same open, size query, write and
// close of the file with no lock.
void BM_BareOpenAppendClose(benchmark::State& state) {
  BenchDir dir;
  const size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    int fd = ::open("Commands.dat", O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    struct stat st {};
    ::fstat(fd, &st);
    benchmark::DoNotOptimize(::write(fd, kBytes, n));
    ::close(fd);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareOpenAppendClose)->Arg(1)->Arg(64);

// The bare write loop into an already open file.
void BM_BareWrite_File(benchmark::State& state) {
  BenchDir dir;
  int fd = ::open("Commands.dat", O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  const size_t n = static_cast<size_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(::write(fd, kBytes, n));
  state.SetItemsProcessed(state.iterations());
  ::close(fd);
}
BENCHMARK(BM_BareWrite_File)->Arg(1)->Arg(64);

}  // namespace

BENCHMARK_MAIN();
