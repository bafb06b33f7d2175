#include "link/network_link.h"

#include <mutex>

#include "link/link_state.h"
#include "link/network/net_address.h"

namespace tillvane {
namespace {

std::mutex& ErrorMutex() {
  static std::mutex m;
  return m;
}

net::NetError& LastOpenError() {
  static net::NetError e;
  return e;
}

void RecordOpenResult(net::NetError e) {
  std::lock_guard lock(ErrorMutex());
  LastOpenError() = std::move(e);
}

}  // namespace

bool OpenNetworkPrinter(std::string_view address, const net::NetworkTimeouts& timeouts) {
  // The connection before is closed first, with its handshake, so that a printer that
  // serves one host at a time takes the new one.
  CloseLinkOf(LinkKind::Network);

  net::NetworkAddress parsed;
  std::string reason;
  if (!net::ParseNetworkAddress(address, &parsed, &reason)) {
    net::NetError e = net::ErrorOfKind(net::NetErrorKind::BadAddress, "address",
                                       "\"" + std::string(address) + "\"");
    e.operation = "address";
    e.detail += ": " + reason;
    RecordOpenResult(std::move(e));
    return false;
  }
  net::NetError error;
  std::unique_ptr<net::NetworkDevice> device =
      net::NetworkDevice::Connect(parsed, timeouts, &error);
  RecordOpenResult(error);
  if (!device) return false;
  SetLink(std::move(device));
  return true;
}

void CloseNetworkPrinter() {
  CloseLinkOf(LinkKind::Network);
}

net::NetError LastNetworkOpenError() {
  std::lock_guard lock(ErrorMutex());
  return LastOpenError();
}

}  // namespace tillvane
