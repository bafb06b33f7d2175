// The print server on the loopback interface, three figures in one run:
//
//  1. throughput: a 100 MB job into the server without pictures (--no-render), against
//     socat taking the same bytes into a file, alternately, the median of each;
//  2. latency: the round trip of DLE EOT 1 while a 10 MB job of sample receipts is
//     received and drawn (each request sent after a receipt, its answer awaited), p50,
//     p99 and the largest;
//  3. jobs: the sample receipts as one connection each, with their pictures, from four
//     clients at once, in jobs per second.
//
//   printer_bench [ROUNDS] [RECEIPTS] [PARTS]   (3 rounds, 1000 receipts, parts 123 unless
//                                               told)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/job_store.h"
#include "server/listener.h"
#include "server/print_server.h"
#include "tests/support/recording.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tillvane::testing::Bytes;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "printer_bench: %s\n", why.c_str());
  std::exit(1);
}

// The sample receipts of the golden folder, each as Tillvane sends it.
std::vector<Bytes> Receipts() {
  std::vector<Bytes> out;
  for (const auto& e : fs::directory_iterator(tillvane::testing::GoldenDir()))
    if (e.path().extension() == ".bin") out.push_back(tillvane::testing::ReadFileBytes(e.path()));
  if (out.empty()) Fail("no sample receipts in " + tillvane::testing::GoldenDir().string());
  return out;
}

// Receipts one after another until `size` bytes.
Bytes ReceiptStream(const std::vector<Bytes>& receipts, size_t size) {
  Bytes out;
  out.reserve(size + 4096);
  for (size_t i = 0; out.size() < size; ++i) {
    const Bytes& r = receipts[i % receipts.size()];
    out.insert(out.end(), r.begin(), r.end());
  }
  out.resize(size);
  return out;
}

int Connect(uint16_t port) {
  for (int i = 0; i < 500; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      // A request goes out at once, not held back for the answer to the bytes before.
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return fd;
    }
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Fail("cannot connect to port " + std::to_string(port));
}

void SendAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) Fail("send failed");
    p += w;
    n -= static_cast<size_t>(w);
  }
}

// Sends a whole job, half-closes and reads until the printer closes its side.
void PrintJob(uint16_t port, const Bytes& job) {
  const int fd = Connect(port);
  SendAll(fd, job.data(), job.size());
  shutdown(fd, SHUT_WR);
  uint8_t buf[4096];
  while (read(fd, buf, sizeof buf) > 0) {
  }
  close(fd);
}

// A print server on a port of its own, on a thread, counting the jobs it keeps.
class Server {
 public:
  explicit Server(tillvane::server::ServerOptions options) {
    std::string error;
    store_ = tillvane::server::JobStore::Open(dir_.path() / "jobs", 0, &error);
    if (!store_) Fail(error);
    server_ = std::make_unique<tillvane::server::PrintServer>(
        options, store_.get(), [this](const tillvane::server::JobRecord& job) {
          std::lock_guard lock(mutex_);
          ++jobs_;
          last_bytes_ = job.bytes + job.dropped;
          cv_.notify_all();
        });
    const int fd = tillvane::server::OpenListener("127.0.0.1:0", &error);
    if (fd < 0) Fail(error);
    const std::string bound = tillvane::server::LocalAddress(fd);
    port_ = static_cast<uint16_t>(std::stoi(bound.substr(bound.rfind(':') + 1)));
    server_->AddListener(fd);
    thread_ = std::thread([this] { server_->Run(); });
  }
  ~Server() {
    server_->Stop();
    thread_.join();
  }
  uint16_t port() const { return port_; }
  // Waits until `count` jobs are kept; the size of the last.
  uint64_t WaitJobs(uint64_t count) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::minutes(10), [&] { return jobs_ >= count; }))
      Fail("the server kept " + std::to_string(jobs_) + " of " + std::to_string(count) + " jobs");
    return last_bytes_;
  }

 private:
  tillvane::testing::ScopedTempDir dir_;
  std::unique_ptr<tillvane::server::JobStore> store_;
  std::unique_ptr<tillvane::server::PrintServer> server_;
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t jobs_ = 0, last_bytes_ = 0;
};

// 1. Until the job is kept (its .bin closed and its .json written).
double IntoServer(const Bytes& job) {
  tillvane::server::ServerOptions o;
  o.render = false;
  o.max_job = job.size();
  Server server(o);
  const auto start = Clock::now();
  PrintJob(server.port(), job);
  if (server.WaitJobs(1) != job.size()) Fail("the server kept a job of another size");
  return Seconds(start);
}

uint16_t FreePort() {
  std::string error;
  const int fd = tillvane::server::OpenListener("127.0.0.1:0", &error);
  if (fd < 0) Fail(error);
  const std::string bound = tillvane::server::LocalAddress(fd);
  close(fd);
  return static_cast<uint16_t>(std::stoi(bound.substr(bound.rfind(':') + 1)));
}

// 1. Until socat has written the file and ended.
double IntoSocat(const Bytes& job, const fs::path& dir) {
  const uint16_t port = FreePort();
  const fs::path out = dir / "socat.bin";
  std::vector<std::string> args = {"socat", "-u",
                                   "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1",
                                   "CREATE:" + out.string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "socat", nullptr, nullptr, argv.data(), environ) != 0)
    Fail("socat cannot be started");
  const int fd = Connect(port);  // socat listens once it runs; timed from here
  const auto start = Clock::now();
  SendAll(fd, job.data(), job.size());
  shutdown(fd, SHUT_WR);
  int status = 0;
  waitpid(pid, &status, 0);
  const double s = Seconds(start);
  close(fd);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || fs::file_size(out) != job.size())
    Fail("socat did not take the whole job");
  fs::remove(out);
  return s;
}

// 2. Each receipt of a 10 MB stream followed by DLE EOT 1 and the wait for its answer.
std::vector<double> StatusRoundTrips(const std::vector<Bytes>& receipts) {
  tillvane::server::ServerOptions o;
  Server server(o);
  const int fd = Connect(server.port());
  const uint8_t request[] = {0x10, 0x04, 0x01};
  std::vector<double> trips;
  size_t sent = 0;
  for (size_t i = 0; sent < (size_t{10} << 20); ++i) {
    const Bytes& r = receipts[i % receipts.size()];
    SendAll(fd, r.data(), r.size());
    sent += r.size() + sizeof request;
    const auto start = Clock::now();
    SendAll(fd, request, sizeof request);
    uint8_t answer = 0;
    if (read(fd, &answer, 1) != 1 || answer != 0x12) Fail("DLE EOT 1 got no answer");
    trips.push_back(Seconds(start) * 1000.0);
  }
  shutdown(fd, SHUT_WR);
  uint8_t buf[4096];
  while (read(fd, buf, sizeof buf) > 0) {
  }
  close(fd);
  server.WaitJobs(1);
  std::sort(trips.begin(), trips.end());
  return trips;
}

// 3. Until every receipt is kept with its picture.
double ReceiptJobs(const std::vector<Bytes>& receipts, int count) {
  tillvane::server::ServerOptions o;
  Server server(o);
  constexpr int kClients = 4;
  std::atomic<int> next{0};
  const auto start = Clock::now();
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c)
    clients.emplace_back([&] {
      for (int i; (i = next++) < count;)
        PrintJob(server.port(), receipts[static_cast<size_t>(i) % receipts.size()]);
    });
  for (auto& t : clients) t.join();
  server.WaitJobs(static_cast<uint64_t>(count));
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int receipts_count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
  const std::string parts = argc > 3 ? argv[3] : "123";
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::vector<Bytes> receipts = Receipts();
  tillvane::testing::ScopedTempDir dir;

  if (parts.find('1') != std::string::npos) {
    const Bytes big = ReceiptStream(receipts, size_t{100} << 20);
    std::vector<double> ours, socat;
    for (int r = 0; r < rounds; ++r) {
      ours.push_back(IntoServer(big));
      socat.push_back(IntoSocat(big, dir.path()));
    }
    const double mb = static_cast<double>(big.size()) / (1 << 20);
    const double ours_rate = mb / Median(ours), socat_rate = mb / Median(socat);
    std::printf(
        "100 MB over loopback, --no-render: %.0f MB/s; socat into a file: %.0f MB/s; "
        "ratio %.2f (median of %d)\n",
        ours_rate, socat_rate, ours_rate / socat_rate, rounds);
  }
  if (parts.find('2') != std::string::npos) {
    const std::vector<double> trips = StatusRoundTrips(receipts);
    auto at = [&](double q) { return trips[std::min(trips.size() - 1, size_t(q * trips.size()))]; };
    std::printf(
        "DLE EOT 1 while a 10 MB job is drawn: %zu round trips, p50 %.3f ms, p99 %.3f ms, "
        "max %.3f ms\n",
        trips.size(), at(0.5), at(0.99), trips.back());
  }
  if (parts.find('3') != std::string::npos) {
    const double s = ReceiptJobs(receipts, receipts_count);
    std::printf("%d sample receipts as %d connections, with pictures: %.0f jobs/s (%.2f s)\n",
                receipts_count, receipts_count, receipts_count / s, s);
  }
  return 0;
}
