// The print-queue link: raw documents through the local printing system (CUPS).
#pragma once

#include <string>
#include <vector>

namespace tillvane {

inline constexpr const char* kQueueDocumentName = "My Document";

// Lists the local queues whose name contains `base_driver_name` (case-sensitive; empty
// matches all), in the server's order. On success `names` is replaced and the count
// returned; when the server cannot be asked, `names` is left as it was and 0 returned.
int ListPrintQueues(const std::string& base_driver_name, std::vector<std::string>& names);

// Opens the queue of that name as the open link. False when it cannot be opened, with
// the server's words in `reason` when it is given.
[[nodiscard]] bool OpenPrintQueue(const std::string& name, std::string* reason = nullptr);

}  // namespace tillvane
