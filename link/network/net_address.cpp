#include "link/network/net_address.h"

namespace tillvane::net {
namespace {

bool Fail(std::string* error, const char* reason) {
  if (error != nullptr) *error = reason;
  return false;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Digits only, 1 to 65535.
bool ParsePort(std::string_view text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

// A host may hold any printable byte except blanks, brackets and the path and
// user-information separators; whether it resolves is the resolver's business.
bool HostBytesOk(std::string_view host) {
  for (char c : host) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F || c == '[' || c == ']' || c == '/' || c == '@') return false;
  }
  return true;
}

}  // namespace

bool ParseNetworkAddress(std::string_view text, NetworkAddress* out, std::string* error) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return Fail(error, "no address given");

  NetworkAddress a;
  std::string_view host;
  if (text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return Fail(error, "unclosed '[' in the address");
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (host.empty()) return Fail(error, "empty host in the address");
    if (host.find(':') == std::string_view::npos)
      return Fail(error, "only an IPv6 address goes in brackets");
    if (!rest.empty()) {
      if (rest.front() != ':') return Fail(error, "text after ']' in the address");
      if (!ParsePort(rest.substr(1), &a.port)) return Fail(error, "the port must be 1 to 65535");
    }
  } else {
    const size_t first = text.find(':');
    const size_t last = text.rfind(':');
    if (first == std::string_view::npos) {
      host = text;
    } else if (first == last) {
      host = text.substr(0, first);
      if (host.empty()) return Fail(error, "empty host in the address");
      if (!ParsePort(text.substr(first + 1), &a.port))
        return Fail(error, "the port must be 1 to 65535");
    } else {
      // Two colons or more: an IPv6 address without brackets, so no port.
      host = text;
    }
  }
  if (!HostBytesOk(host)) return Fail(error, "blank or reserved character in the host");
  a.host.assign(host);
  if (out != nullptr) *out = std::move(a);
  if (error != nullptr) error->clear();
  return true;
}

std::string FormatNetworkAddress(const NetworkAddress& address) {
  std::string text;
  if (address.host.find(':') != std::string::npos) {
    text = "[" + address.host + "]";
  } else {
    text = address.host;
  }
  return text + ":" + std::to_string(address.port);
}

}  // namespace tillvane::net
