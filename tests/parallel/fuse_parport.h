// A parallel port served through FUSE: a file whose ioctls are those of the kernel's
// ppdev driver, with a printer at register level behind it, so that the real ppdev
// code of our port I/O library runs against it. The file system runs on a thread of
// the test; the file is a regular file rather than a character device.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct fuse;

namespace tillvane::testing {

class FuseParport {
 public:
  FuseParport() = default;
  ~FuseParport();
  FuseParport(const FuseParport&) = delete;
  FuseParport& operator=(const FuseParport&) = delete;

  // Mounts a file system in a fresh temporary folder. False, with the reason in
  // error(), when FUSE cannot be used here.
  bool Start();
  void Stop();
  const std::string& error() const { return error_; }
  // The ppdev file.
  std::string device() const { return mount_ + "/parport0"; }

  struct Ioctl {
    unsigned int request;
    uint8_t value;  // written or read
    bool operator==(const Ioctl&) const = default;
  };
  struct State {
    uint8_t data = 0;
    uint8_t status = 0xDF;  // ready, paper in
    uint8_t control = 0x0C;
    bool claimed = false;
    int opens = 0;
    int releases = 0;
    int claims = 0;
    int unclaims = 0;
    std::vector<Ioctl> ioctls;
    std::vector<uint8_t> printed;
  };
  State Snapshot();
  void SetStatus(uint8_t status);

  // Served on the file system's thread.
  int HandleIoctl(unsigned int request, void* data);
  void Opened();
  void Released();

 private:
  std::mutex mutex_;
  State state_;
  std::string root_;
  std::string mount_;
  std::string error_;
  struct fuse* fuse_ = nullptr;
  std::thread loop_;
  bool mounted_ = false;
};

}  // namespace tillvane::testing
