// A print server on a loopback port of its own, run on a thread, and clients for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/job_store.h"
#include "server/listener.h"
#include "server/print_server.h"
#include "tests/support/recording.h"

namespace tillvane::testing {

class ServerHarness {
 public:
  explicit ServerHarness(server::ServerOptions options = {}, bool serial = false);
  ~ServerHarness();

  uint16_t port() const { return port_; }
  server::PrintServer& server() { return *server_; }
  const std::filesystem::path& jobs_dir() const { return dir_.path(); }
  const std::filesystem::path& link() const { return link_path_; }
  // Waits (at most 20 s) until `count` jobs are kept; the jobs so far.
  std::vector<server::JobRecord> WaitJobs(size_t count);

 private:
  ScopedTempDir dir_;
  std::filesystem::path link_path_;
  std::unique_ptr<server::JobStore> store_;
  std::unique_ptr<server::SerialLink> serial_;
  std::unique_ptr<server::PrintServer> server_;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<server::JobRecord> jobs_;
  std::thread thread_;
};

// A connected client socket on 127.0.0.1:port, or -1.
int Connect(uint16_t port);
bool SendAll(int fd, const Bytes& bytes);
// Reads until `count` bytes came, the peer closed, or `timeout` passed.
Bytes ReadSome(int fd, size_t count, std::chrono::milliseconds timeout);
// Sends, half-closes and reads every answer until the printer closes its side.
Bytes PrintJob(uint16_t port, const Bytes& bytes);

}  // namespace tillvane::testing
