#include "session/job_receiver.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "render/logo_store.h"
#include "render/png_file.h"
#include "server/job_store.h"
#include "server/listener.h"
#include "server/print_server.h"

namespace tillvane {
namespace {

constexpr uint64_t kJobsKept = 1000;
constexpr size_t kMaxErrors = 32;

// The height a PNG file says it has (from its header), or -1 when it is not one.
int64_t PngHeight(const std::filesystem::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  unsigned char head[24];
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  if (n != sizeof head || head[1] != 'P' || head[2] != 'N' || head[3] != 'G') return -1;
  return (int64_t{head[20]} << 24) | (head[21] << 16) | (head[22] << 8) | head[23];
}

}  // namespace

std::string ExpandHome(const std::string& name) {
  const char* home = std::getenv("HOME");
  if (name.rfind("~/", 0) == 0 && home != nullptr && home[0] != '\0')
    return std::string(home) + name.substr(1);
  return name;
}

JobReceiver::JobReceiver() = default;

JobReceiver::~JobReceiver() {
  Stop();
}

bool JobReceiver::Start(const ReceiverSettings& settings, std::string* error) {
  Stop();
  std::string why;
  auto store = server::JobStore::Open(
      settings.jobs_folder.empty() ? server::JobStore::DefaultFolder() : settings.jobs_folder,
      kJobsKept, &why);
  if (!store) {
    if (error) *error = why;
    return false;
  }
  const int fd = server::OpenListener(settings.listen, &why);
  if (fd < 0) {
    if (error) *error = why;
    return false;
  }
  std::unique_ptr<server::SerialLink> link;
  if (!settings.serial.empty()) {
    link = server::SerialLink::Open(ExpandHome(settings.serial), &why);
    if (!link) {
      ::close(fd);
      if (error) *error = why;
      return false;
    }
  }
  server::ServerOptions options;
  options.paper_dots = settings.paper_dots;
  options.status = settings.status;
  options.flash_store = render::DefaultFlashStorePath();
  // Called on the server's drawing thread: the picture is read there, off the window's.
  auto on_job = [this](const server::JobRecord& r) {
    ReceivedJob job;
    job.number = r.number;
    job.source = r.source;
    job.start = r.start;
    job.bytes = r.bytes;
    job.unknown_bytes = r.report.unknown_bytes;
    job.not_drawn = r.report.not_drawn;
    job.refused = r.report.refused;
    job.ended_by = r.ended_by;
    if (!r.png.empty()) {
      const int64_t rows = PngHeight(r.png);
      if (rows < 0 || rows > kMaxShownRows) {
        job.too_long = rows > kMaxShownRows;
      } else if (std::string unread; auto paper = render::ReadPng(r.png, &unread)) {
        job.paper = std::move(*paper);
      }
    }
    Finished(std::move(job));
  };
  auto on_error = [this](const std::string& message) {
    std::lock_guard lock(mutex_);
    if (errors_.size() < kMaxErrors) errors_.push_back(message);
  };
  auto print_server = std::make_unique<server::PrintServer>(options, store.get(), on_job, on_error);
  address_ = server::LocalAddress(fd);
  print_server->AddListener(fd);
  serial_link_.clear();
  if (link) {
    serial_link_ = link->link().string();
    print_server->AddSerial(link->fd(), "serial:" + serial_link_);
  }
  store_ = std::move(store);
  link_ = std::move(link);
  server_ = std::move(print_server);
  thread_ = std::thread([server = server_.get()] { server->Run(); });
  return true;
}

void JobReceiver::Stop() {
  if (!server_) return;
  server_->Stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
  link_.reset();
  store_.reset();
  address_.clear();
  serial_link_.clear();
}

void JobReceiver::SetStatus(const render::PrinterStatus& status) {
  if (server_) server_->SetStatus(status);
}

void JobReceiver::Finished(ReceivedJob&& job) {
  std::lock_guard lock(mutex_);
  waiting_.push_back(std::move(job));
  // A window that does not look (hidden) holds at most kMaxWaiting pictures.
  if (waiting_.size() > kMaxWaiting) {
    ReceivedJob& old = waiting_[waiting_.size() - kMaxWaiting - 1];
    if (old.paper.height() > 0) {
      old.paper = render::Bitmap();
      old.too_long = true;
    }
  }
}

std::vector<ReceivedJob> JobReceiver::TakeJobs() {
  std::lock_guard lock(mutex_);
  return std::exchange(waiting_, {});
}

std::vector<std::string> JobReceiver::TakeErrors() {
  std::lock_guard lock(mutex_);
  return std::exchange(errors_, {});
}

}  // namespace tillvane
