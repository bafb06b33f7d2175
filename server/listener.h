// Where the printer is reached: listening sockets for the network and a pseudo-terminal
// for programs that print to a serial port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tillvane::server {

inline constexpr const char* kDefaultListen = "127.0.0.1:9100";

// "127.0.0.1:9100", "0.0.0.0:9100", "[::]:9100", "[::1]:0" (port 0: any free port).
// Returns the listening socket, or -1 and `error` naming the address: it does not
// parse, it does not exist on this machine, or its port is in use.
int OpenListener(const std::string& address, std::string* error);
// The sockets handed over by systemd's socket activation (none when not started so).
std::vector<int> ActivatedListeners();
// The local address a socket is bound to, or the peer's, as "ADDR:PORT" ("[ADDR]:PORT"
// for IPv6).
std::string LocalAddress(int fd);
std::string PeerAddress(int fd);

// A pseudo-terminal with a symbolic link to its device: a program that prints to a
// serial port is given the link. Any line settings the program makes are accepted (the
// terminal starts raw). The link is removed when the object goes.
class SerialLink {
 public:
  // Fails (null and `error` naming the link) when the terminal cannot be made or the
  // link cannot be made; an existing link to a terminal device is replaced, any other
  // file is left alone.
  static std::unique_ptr<SerialLink> Open(const std::filesystem::path& link, std::string* error);
  ~SerialLink();

  int fd() const { return master_; }  // the printer's side, non-blocking
  const std::filesystem::path& link() const { return link_; }
  const std::string& device() const { return device_; }

 private:
  SerialLink() = default;
  int master_ = -1;
  int slave_ = -1;  // held open so that the printer's side never sees a hang-up
  std::filesystem::path link_;
  std::string device_;
};

}  // namespace tillvane::server
