#include "link/queue/cups_queue.h"

#include <cerrno>
#include <cstring>

#include "link/print_queue.h"

namespace tillvane {
namespace {

constexpr int kConnectTimeoutMs = 30000;
constexpr int kCancelTimeoutMs = 5000;

// Called by libcups when the server has neither taken nor sent anything for the
// connection's time-out: give up the call in progress.
int GiveUp(http_t*, void*) {
  return 0;
}

std::string CupsFailure(const char* call) {
  std::string text = call;
  text += ": ";
  const char* words = cupsLastErrorString();
  text += words != nullptr && *words != '\0' ? words : "no answer from the print server";
  return text;
}

}  // namespace

std::unique_ptr<CupsQueue> CupsQueue::Open(const std::string& name, double stall_timeout_s,
                                           std::string* reason) {
  auto fail = [reason](std::string why) -> std::unique_ptr<CupsQueue> {
    if (reason != nullptr) *reason = std::move(why);
    return nullptr;
  };
  // An empty name would make libcups pick the default queue.
  if (name.empty()) return fail("no print queue chosen");
  const std::string server = cupsServer();
  const int port = ippPort();
  const http_encryption_t encryption = cupsEncryption();
  errno = 0;
  http_t* http = httpConnect2(server.c_str(), port, nullptr, AF_UNSPEC, encryption, 1,
                              kConnectTimeoutMs, nullptr);
  if (http == nullptr) {
    return fail("httpConnect2 " + server + ": " + (errno != 0 ? std::strerror(errno) : "failed"));
  }
  httpSetTimeout(http, stall_timeout_s, GiveUp, nullptr);
  cups_dest_t* dest = cupsGetNamedDest(http, name.c_str(), nullptr);
  if (dest == nullptr) {
    std::string why = CupsFailure("cupsGetNamedDest") + " (queue \"" + name + "\")";
    httpClose(http);
    return fail(std::move(why));
  }
  cupsFreeDests(1, dest);
  return std::unique_ptr<CupsQueue>(new CupsQueue(name, http, server, port, encryption));
}

CupsQueue::~CupsQueue() {
  // An open document, or a failed one whose cancel is still owed.
  CancelJob();
  httpClose(http_);
}

void CupsQueue::NoteFailure(const char* call) {
  failure_ = CupsFailure(call);
}

void CupsQueue::CancelJob() {
  if (job_id_ <= 0) return;
  http_t* http = httpConnect2(server_.c_str(), port_, nullptr, AF_UNSPEC, encryption_, 1,
                              kCancelTimeoutMs, nullptr);
  if (http == nullptr) return;
  httpSetTimeout(http, kCancelTimeoutMs / 1000.0, GiveUp, nullptr);
  const ipp_status_t status = cupsCancelJob2(http, name_.c_str(), job_id_, 0);
  httpClose(http);
  // A job the server no longer holds needs no cancelling; any other failure leaves
  // the cancel owed, to be tried again before the next job and on closing.
  if (status <= IPP_STATUS_OK_CONFLICTING || status == IPP_STATUS_ERROR_NOT_FOUND ||
      status == IPP_STATUS_ERROR_NOT_POSSIBLE) {
    job_id_ = 0;
  }
}

bool CupsQueue::StartDocument() {
  if (document_open_) return false;
  CancelJob();  // one still owed from an earlier failure
  write_failed_ = false;
  job_id_ = cupsCreateJob(http_, name_.c_str(), kQueueDocumentName, 0, nullptr);
  if (job_id_ <= 0) {
    job_id_ = 0;
    NoteFailure("cupsCreateJob");
    return false;
  }
  if (cupsStartDocument(http_, name_.c_str(), job_id_, kQueueDocumentName, CUPS_FORMAT_RAW, 1) !=
      HTTP_STATUS_CONTINUE) {
    NoteFailure("cupsStartDocument");
    CancelJob();
    return false;
  }
  document_open_ = true;
  return true;
}

bool CupsQueue::Write(const uint8_t* bytes, int32_t length) {
  if (!document_open_ || write_failed_) return false;
  // A write of no bytes would end the chunked request body early.
  if (length <= 0) return length == 0;
  if (cupsWriteRequestData(http_, reinterpret_cast<const char*>(bytes),
                           static_cast<size_t>(length)) != HTTP_STATUS_CONTINUE) {
    NoteFailure("cupsWriteRequestData");
    write_failed_ = true;
    return false;
  }
  return true;
}

bool CupsQueue::EndDocument() {
  if (!document_open_) return false;
  document_open_ = false;
  if (write_failed_) {
    CancelJob();
    return false;
  }
  const ipp_status_t status = cupsFinishDocument(http_, name_.c_str());
  if (status > IPP_STATUS_OK_CONFLICTING) {
    NoteFailure("cupsFinishDocument");
    // Not accepted: make sure nothing of it stays waiting on the server.
    CancelJob();
    return false;
  }
  job_id_ = 0;
  return true;
}

}  // namespace tillvane
