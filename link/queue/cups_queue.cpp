#include "link/queue/cups_queue.h"

#include "link/print_queue.h"

namespace tillvane {
namespace {

constexpr int kConnectTimeoutMs = 30000;
constexpr int kCancelConnectTimeoutMs = 5000;

}  // namespace

std::unique_ptr<CupsQueue> CupsQueue::Open(const std::string& name) {
  // An empty name would make libcups pick the default queue.
  if (name.empty()) return nullptr;
  const std::string server = cupsServer();
  const int port = ippPort();
  const http_encryption_t encryption = cupsEncryption();
  http_t* http = httpConnect2(server.c_str(), port, nullptr, AF_UNSPEC, encryption, 1,
                              kConnectTimeoutMs, nullptr);
  if (http == nullptr) return nullptr;
  cups_dest_t* dest = cupsGetNamedDest(http, name.c_str(), nullptr);
  if (dest == nullptr) {
    httpClose(http);
    return nullptr;
  }
  cupsFreeDests(1, dest);
  return std::unique_ptr<CupsQueue>(new CupsQueue(name, http, server, port, encryption));
}

CupsQueue::~CupsQueue() {
  if (document_open_) CancelJob();
  httpClose(http_);
}

void CupsQueue::CancelJob() {
  if (job_id_ <= 0) return;
  http_t* http = httpConnect2(server_.c_str(), port_, nullptr, AF_UNSPEC, encryption_, 1,
                              kCancelConnectTimeoutMs, nullptr);
  if (http != nullptr) {
    cupsCancelJob2(http, name_.c_str(), job_id_, 0);
    httpClose(http);
  }
  job_id_ = 0;
}

bool CupsQueue::StartDocument() {
  if (document_open_) return false;
  write_failed_ = false;
  job_id_ = cupsCreateJob(http_, name_.c_str(), kQueueDocumentName, 0, nullptr);
  if (job_id_ <= 0) {
    job_id_ = 0;
    return false;
  }
  if (cupsStartDocument(http_, name_.c_str(), job_id_, kQueueDocumentName, CUPS_FORMAT_RAW, 1) !=
      HTTP_STATUS_CONTINUE) {
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
    // Not accepted: make sure nothing of it stays waiting on the server.
    CancelJob();
    return false;
  }
  job_id_ = 0;
  return true;
}

}  // namespace tillvane
