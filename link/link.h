// One open link to the printer, whatever carries the bytes: the interface the link
// state holds and SendData writes through.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace tillvane {

// The kinds of link. The numbering is fixed: the port page opens links by it and the
// command-file stream chooses its block size by it.
enum class LinkKind : int32_t {
  None = -1,
  Parallel = 0,
  Serial = 1,
  PrintQueue = 2,
  Usb = 3,
  Virtual = 5,  // the virtual printer drawn in memory
  Network = 6,
};
// Writes the kind's number, for logs and test messages.
inline std::ostream& operator<<(std::ostream& out, LinkKind kind) {
  return out << static_cast<int32_t>(kind);
}

// The receive side of a link whose printer can answer (status requests).
class ReplyChannel {
 public:
  virtual ~ReplyChannel() = default;
  // Drops whatever waits to be sent or received.
  virtual bool Purge() = 0;
  // Bytes waiting in the receive queue, or -1 when the device cannot tell.
  virtual int32_t ReceiveQueueCount() = 0;
  // Reads up to `capacity` bytes, waiting up to `timeout_ms` for the first. Returns the
  // count read, 0 when nothing came in time, -1 when the link cannot read.
  virtual int32_t Read(uint8_t* bytes, int32_t capacity, int32_t timeout_ms) {
    (void)bytes, (void)capacity, (void)timeout_ms;
    return -1;
  }
};

class Link {
 public:
  explicit Link(LinkKind kind) : kind_(kind) {}
  virtual ~Link() = default;
  // A plain member: the send path asks it on every send.
  LinkKind kind() const { return kind_; }
  // Hands every byte to the printer. True when the link took all `length` of them;
  // false otherwise (bytes before a failure may have been printed all the same).
  [[nodiscard]] virtual bool Send(const uint8_t* bytes, int32_t length) = 0;
  // Why the last failed call failed, in the system's words; empty when nothing
  // failed. Asked only after a failure, never on the send path.
  virtual std::string FailureReason() const { return {}; }
  // The receive side, when the printer can answer on this link; null otherwise.
  virtual ReplyChannel* Replies() { return nullptr; }
  // Document framing: a link that keeps documents (the print queue) starts and ends
  // one around each job; every other link has nothing to do and succeeds.
  [[nodiscard]] virtual bool StartDocument() { return true; }
  [[nodiscard]] virtual bool EndDocument() { return true; }
  // Whether a failed Send ends the document and closes the link: the print server
  // has dropped the job by then, and every later byte would go nowhere.
  virtual bool ClosesAfterFailedSend() const { return false; }
  // Ends the link's use before it is destroyed; the destructor closes as well. Kept
  // for links whose closing takes longer than a destructor should under a lock.
  virtual void Close() {}

 private:
  const LinkKind kind_;
};

// What the link state knows of a link kind that has no open link.
struct AbsentLink {
  LinkKind kind;
  // Why nothing can be sent ("no serial device is open").
  const char* reason;
  // Whether a job may not start: a print queue closed after a failure takes no new
  // document, while on the other kinds the job's first send fails instead.
  bool refuses_documents;
  // Whether a send of zero bytes still succeeds: the parallel port without its I/O
  // library wrote nothing of nothing, which is all it was asked.
  bool takes_empty_sends;
};
// The row of that kind; the row of LinkKind::None for unknown values.
const AbsentLink& AbsentLinkOf(LinkKind kind);

}  // namespace tillvane
