#include "link/print_queue.h"

#include <cups/cups.h>

#include <cstdlib>

#include "link/link_state.h"
#include "link/queue/cups_queue.h"

namespace tillvane {

int ListPrintQueues(const std::string& base_driver_name, std::vector<std::string>& names) {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  if (count <= 0) {
    // No destinations: either the server answered that it has none ("not found"), or
    // it could not be asked at all (no server, refused request), which leaves the
    // list as it was.
    const ipp_status_t error = cupsLastError();
    cupsFreeDests(0, dests);
    if (error <= IPP_STATUS_OK_CONFLICTING || error == IPP_STATUS_ERROR_NOT_FOUND) names.clear();
    return 0;
  }
  std::vector<std::string> listed;
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& dest = dests[i];
    // Instances are option sets of a queue the list already holds; printers found on
    // the network are no queue of this server (yet) and cannot be opened as one.
    if (dest.instance != nullptr || dest.name == nullptr) continue;
    const char* type = cupsGetOption("printer-type", dest.num_options, dest.options);
    if (type != nullptr && (std::strtoul(type, nullptr, 10) & CUPS_PRINTER_DISCOVERED) != 0) {
      continue;
    }
    const std::string name = dest.name;
    if (name.find(base_driver_name) != std::string::npos) listed.push_back(name);
  }
  cupsFreeDests(count, dests);
  names = std::move(listed);
  return static_cast<int>(names.size());
}

bool OpenPrintQueue(const std::string& name, std::string* reason) {
  std::unique_ptr<CupsQueue> queue = CupsQueue::Open(name, CupsQueue::kStallTimeoutSeconds, reason);
  if (!queue) return false;
  SetLink(std::move(queue));
  return true;
}

}  // namespace tillvane
