// What the operator chose on the port page, as plain values: which link, and the
// settings of each kind. The window fills it from its controls; OpenAndProve takes it.
#pragma once

#include <cstdint>
#include <string>

#include "link/link_state.h"
#include "link/network/net_device.h"
#include "link/serial_port.h"

namespace tillvane {

// The model whose printers have no cutter choice: applying the port page with it
// withdraws the cutter choices of the demo page for the rest of the run.
inline constexpr const char* kModelWithoutCutterChoice = "Vorn-101";

struct LinkChoice {
  // The link to open; LinkKind::None when no link kind is chosen.
  LinkKind kind = LinkKind::None;

  // Serial: the port name ("COM1".."COM8"), whose device the Ports section names, and
  // the line settings.
  std::string com_port = "COM1";
  SerialLine serial;

  // Parallel: 0..3 for LPT1..LPT4.
  int32_t lpt_index = 0;

  // USB: the device number (its position in the device list); -1 when none is chosen.
  int32_t usb_device = -1;

  // Print queue: the queue's name.
  std::string queue_name;

  // Network printer: the address as typed (host name, IPv4 or [IPv6], optional :port),
  // and the deadlines of connecting and of each write.
  std::string network_address;
  net::NetworkTimeouts network_timeouts;

  // The model in force, as the model list shows it (UTF-8).
  std::string model_name;
};

}  // namespace tillvane
