// The network link: a raw TCP printer (port 9100 unless the address names another),
// reached by the address the operator types.
#pragma once

#include <string>
#include <string_view>

#include "link/network/net_device.h"
#include "link/network/net_error.h"

namespace tillvane {

// Closes a connection still open, parses the typed address and connects within the
// connect deadline. On success the connection is the open link; on failure there is
// none, and LastNetworkOpenError says why.
[[nodiscard]] bool OpenNetworkPrinter(std::string_view address,
                                      const net::NetworkTimeouts& timeouts);

// Closes the connection with its closing handshake (the printer gets the last bytes).
void CloseNetworkPrinter();

// Why the last OpenNetworkPrinter failed; ok() after a successful one.
net::NetError LastNetworkOpenError();

}  // namespace tillvane
