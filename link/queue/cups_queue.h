// An open print queue of the local CUPS server, taking raw documents.
#pragma once

#include <cups/cups.h>

#include <memory>
#include <string>

#include "link/backends.h"

namespace tillvane {

class CupsQueue final : public QueueBackend {
 public:
  // Opens a connection of its own to this thread's CUPS server and checks that the
  // queue exists there. Null when the queue cannot be found or the server cannot be
  // reached. The connection belongs to the queue alone (libcups keeps its default
  // connection per thread, and documents are written from worker threads).
  //
  // A server that stops taking or answering for `stall_timeout_s` seconds fails the
  // call in progress instead of blocking the sender for ever.
  static constexpr double kStallTimeoutSeconds = 60.0;
  // When it cannot be opened, `reason` (if given) says why in the server's words.
  static std::unique_ptr<CupsQueue> Open(const std::string& name,
                                         double stall_timeout_s = kStallTimeoutSeconds,
                                         std::string* reason = nullptr);

  // Closes the connection; a document still open is cancelled first, so that no
  // truncated job is printed.
  ~CupsQueue() override;
  CupsQueue(const CupsQueue&) = delete;
  CupsQueue& operator=(const CupsQueue&) = delete;

  // Creates a job titled "My Document" and starts its one raw document. A job whose
  // document cannot be started is cancelled again.
  bool StartDocument() override;
  // Hands the bytes to the open document. False outside a started document (nothing
  // reaches the server) and when the connection fails.
  bool Write(const uint8_t* bytes, int32_t length) override;
  // Finishes the document: true when the server accepted the job. After a failed
  // write the truncated job is cancelled instead, and the result is false.
  bool EndDocument() override;

  const std::string& name() const { return name_; }
  // The job of the open document (or of a failed one not yet cancelled), else 0.
  int job_id() const { return job_id_; }
  // The call that failed last and the server's words ("cupsCreateJob: The printer or
  // class is not accepting jobs.").
  std::string FailureReason() const override { return failure_; }

 private:
  CupsQueue(std::string name, http_t* http, std::string server, int port,
            http_encryption_t encryption)
      : name_(std::move(name)),
        http_(http),
        server_(std::move(server)),
        port_(port),
        encryption_(encryption) {}
  // Cancels job_id_ over a fresh connection (the queue's own may be in the middle of
  // a request body). job_id_ stays set when the server could not be asked.
  void CancelJob();
  // Notes the failed call with libcups' last error text of this thread.
  void NoteFailure(const char* call);

  std::string name_;
  http_t* http_;
  std::string server_;
  int port_;
  http_encryption_t encryption_;
  int job_id_ = 0;
  bool document_open_ = false;
  bool write_failed_ = false;
  std::string failure_;
};

}  // namespace tillvane
