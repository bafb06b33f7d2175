#include "tests/server/server_harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "server/listener.h"

namespace tillvane::testing {

ServerHarness::ServerHarness(server::ServerOptions options, bool serial) {
  std::string error;
  store_ = server::JobStore::Open(dir_.path() / "jobs", 0, &error);
  if (!store_) throw std::runtime_error(error);
  server_ = std::make_unique<server::PrintServer>(options, store_.get(),
                                                  [this](const server::JobRecord& job) {
                                                    std::lock_guard lock(mutex_);
                                                    jobs_.push_back(job);
                                                    cv_.notify_all();
                                                  });
  const int fd = server::OpenListener("127.0.0.1:0", &error);
  if (fd < 0) throw std::runtime_error(error);
  const std::string bound = server::LocalAddress(fd);
  port_ = static_cast<uint16_t>(std::stoi(bound.substr(bound.rfind(':') + 1)));
  server_->AddListener(fd);
  if (serial) {
    link_path_ = dir_.path() / "ttyTillvane";
    serial_ = server::SerialLink::Open(link_path_, &error);
    if (!serial_) throw std::runtime_error(error);
    server_->AddSerial(serial_->fd(), "serial:" + link_path_.string());
  }
  thread_ = std::thread([this] { server_->Run(); });
}

ServerHarness::~ServerHarness() {
  server_->Stop();
  thread_.join();
}

std::vector<server::JobRecord> ServerHarness::WaitJobs(size_t count) {
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, std::chrono::seconds(20), [&] { return jobs_.size() >= count; });
  return jobs_;
}

int Connect(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

Bytes ReadSome(int fd, size_t count, std::chrono::milliseconds timeout) {
  Bytes out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    uint8_t buf[4096];
    const ssize_t n = read(fd, buf, std::min(sizeof buf, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

Bytes PrintJob(uint16_t port, const Bytes& bytes) {
  const int fd = Connect(port);
  if (fd < 0) return {};
  SendAll(fd, bytes);
  shutdown(fd, SHUT_WR);
  Bytes answers = ReadSome(fd, SIZE_MAX, std::chrono::seconds(20));
  close(fd);
  return answers;
}

}  // namespace tillvane::testing
