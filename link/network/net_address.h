// The address of a network printer as the operator types it: a host name, an IPv4
// address or an IPv6 address, with an optional port.
//   printer.local          host name, port 9100
//   192.168.1.50:9101      IPv4 with a port
//   [fe80::1]:9100         IPv6 in brackets, with or without a port
//   fe80::1                IPv6 without brackets (then no port can be given)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tillvane::net {

// Raw TCP printers listen here unless told otherwise.
inline constexpr uint16_t kDefaultPrinterPort = 9100;

struct NetworkAddress {
  std::string host;  // without brackets
  uint16_t port = kDefaultPrinterPort;
};

// Parses the typed address; blanks around it are dropped. False with a short English
// reason in `error` for an empty address, an empty host, an unclosed bracket, blanks or
// control bytes inside, or a port that is not a number from 1 to 65535.
[[nodiscard]] bool ParseNetworkAddress(std::string_view text, NetworkAddress* out,
                                       std::string* error);

// "host:port", with the host in brackets when it holds a colon: for logs and details.
std::string FormatNetworkAddress(const NetworkAddress& address);

}  // namespace tillvane::net
