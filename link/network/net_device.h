// One TCP connection to a raw network printer, and the back end that SendData writes
// through when the network link is open.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "link/backends.h"
#include "link/network/net_address.h"
#include "link/network/net_error.h"

namespace tillvane::net {

struct NetworkTimeouts {
  uint32_t connect_ms = 5000;      // resolving and connecting, over every address in all
  uint32_t write_ms = 10000;       // one Write, however many short writes it takes
  uint32_t close_drain_ms = 2000;  // closing: how long the printer may take to close its side
};

class NetworkDevice final : public NetworkBackend {
 public:
  // Resolves the host and tries each address in turn, connecting without blocking,
  // until one connects or the connect deadline passes. The connection gets
  // TCP_NODELAY, keep-alive probes and a TCP_USER_TIMEOUT of the write deadline, so
  // that a printer switched off is noticed within it. Null on failure, with the
  // reason in `error`; a refusal names the busy printer in its text.
  static std::unique_ptr<NetworkDevice> Connect(const NetworkAddress& address,
                                                const NetworkTimeouts& timeouts, NetError* error);

  // Shuts the sending side down, lets the printer close its side within the drain
  // time (reading and dropping whatever it still sends), then closes.
  ~NetworkDevice() override;
  NetworkDevice(const NetworkDevice&) = delete;
  NetworkDevice& operator=(const NetworkDevice&) = delete;

  // Sends all bytes, continuing after short writes, within the write deadline. A
  // failure or time-out closes the connection at once and gives -1; so does every
  // later call, without a system call.
  int32_t Write(const uint8_t* bytes, int32_t length) override;
  // Reads and drops whatever the printer has sent.
  bool Purge() override;
  int32_t ReceiveQueueCount() override;
  int32_t Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) override;

  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The address actually connected, e.g. "127.0.0.1:9100" or "[::1]:9100".
  const std::string& peer() const { return peer_; }
  // Why the last failed call failed.
  const NetError& last_error() const { return last_error_; }

 private:
  NetworkDevice(int fd, std::string peer, const NetworkTimeouts& timeouts)
      : fd_(fd), peer_(std::move(peer)), timeouts_(timeouts) {}
  int32_t Fail(NetError error);
  void CloseNow();

  int fd_;
  std::string peer_;
  NetworkTimeouts timeouts_;
  NetError last_error_;
};

// The closing handshake on its own: shuts down the sending side of `fd`, reads and
// drops until the peer closes or `drain_ms` pass, then closes `fd`. True when the peer
// closed in time.
bool CloseGracefully(int fd, uint32_t drain_ms);

}  // namespace tillvane::net
