// The program-wide link state: which link is open, the kind SendData writes to, and
// the copy of the traffic into "Commands.dat".
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/backends.h"
#include "link/link.h"

namespace tillvane {

inline constexpr const char* kCommandFileName = "Commands.dat";
inline constexpr int64_t kCommandFileLimit = 512'000'000;
inline constexpr uint32_t kBusyTimeoutNormal = 2000;
inline constexpr uint32_t kBusyTimeoutDownload = 800000;

struct LinkState {
  // The kind SendData writes to. The opening sets it once the link is open (and
  // proven); a link of another kind in `link` then takes no bytes.
  std::atomic<LinkKind> Kind{LinkKind::None};
  std::atomic<bool> PrintToFile{false};
  // The parallel link's longest wait for a ready printer before one byte, in ms;
  // raised while a logo downloads.
  std::atomic<uint32_t> BusyTimeout{kBusyTimeoutNormal};

  // The one open link; empty when none is open, or after a failed send closed it.
  std::unique_ptr<Link> link;
  // Why the link that closed itself after a failed send failed (the print queue's
  // server words); cleared when a link is set.
  std::string ClosedBecause;

  // Held for the whole of each SendData call and of each document framing step, so
  // that two senders can never interleave bytes within one call. Link changes take
  // it too.
  std::mutex mutex;
};

// The one instance of the program.
LinkState& Links();

// Puts every value back to its start-up state, closing nothing but dropping all
// handles. Used at start-up and between tests.
void ResetLinkState();

// Makes `link` the open link, under the link lock. The link open before, of whatever
// kind, is closed outside the lock: a network printer's closing handshake waits for
// the printer, and the virtual printer's thread ends its slice.
void SetLink(std::unique_ptr<Link> link);
// Closes the open link when it is of that kind (outside the lock, as above); a link of
// another kind stays open.
void CloseLinkOf(LinkKind kind);
// Closes whatever link is open and sets Kind to None: the window's closing.
void CloseOpenLink();
// The kind of the open link; None when no link is open.
LinkKind OpenLinkKind();

// Why the open link's last send failed, in the system's words ("write /dev/ttyUSB0:
// Input/output error"), or what is missing ("no serial device is open"); empty when
// the link has nothing to say. For logs and message details after a failure.
std::string LinkFailureReason();

// The link Kind names, when it is the open one; null otherwise. Call with the link
// lock held.
Link* CurrentLink(LinkState& s);
// The receive side of the link Kind names, when its printer can answer (serial,
// network, virtual); null otherwise. Call with the link lock held.
ReplyChannel* OpenReplyChannel(LinkState& s);

// Document framing used by every sender, through Link::StartDocument and EndDocument:
// only the print queue keeps documents, every other link succeeds at once.
//
// StartJobDocument: starts a raw document; when the queue is closed already or the
// start fails, closes the queue and returns false: the job must not be sent.
[[nodiscard]] bool StartJobDocument();
// EndJobDocument: ends the document; when that fails, closes the queue. A queue
// already closed by a failed write is left alone.
void EndJobDocument();

}  // namespace tillvane
