#include "server/print_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "render/roll_png.h"
#include "server/job_counter.h"
#include "server/listener.h"

namespace tillvane::server {
namespace {

// Bytes received and not yet drawn; past this the receiving thread waits, and the
// client with it.
constexpr size_t kMaxQueued = size_t{16} << 20;
constexpr size_t kReadSize = 64 * 1024;

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

struct PrintServer::Event {
  enum class Kind { kBegin, kData, kEnd, kQuit } kind;
  std::vector<uint8_t> data;
  std::string source;
  bool split_at_cut = false;
  // kEnd
  std::string ended_by;
  bool cut_short = false;
  uint64_t dropped = 0;
};

struct PrintServer::Job {
  std::string source;
  bool split_at_cut = false;
  bool active = false;
  JobRecord record;
  int bin_fd = -1;
  // A job is drawn by `printer`, or with --no-render only counted by `counter`.
  std::unique_ptr<render::Printer> printer;
  std::unique_ptr<JobCounter> counter;
  std::unique_ptr<render::RollPng> roll;
  bool cut_seen = false;

  void Feed(const uint8_t* p, size_t n) {
    if (printer) return printer->Feed(p, n);
    const uint64_t pages = counter->report().pages;
    counter->Feed(p, n);
    if (counter->report().pages != pages) cut_seen = true;
  }
  void SetStatus(const render::PrinterStatus& s) {
    printer ? printer->SetStatus(s) : counter->SetStatus(s);
  }
  size_t ReadReplies(uint8_t* out, size_t max) {
    return printer ? printer->ReadReplies(out, max) : counter->ReadReplies(out, max);
  }
  void Finish() { printer ? printer->Finish() : counter->Finish(); }
  const render::Report& report() const { return printer ? printer->report() : counter->report(); }
};

PrintServer::PrintServer(ServerOptions options, JobStore* store, JobListener on_job,
                         ErrorListener on_error)
    : options_(std::move(options)),
      store_(store),
      on_job_(std::move(on_job)),
      on_error_(std::move(on_error)),
      identity_(IdentityFor(options_.paper_dots, options_.profile)),
      status_(options_.status) {
  if (pipe2(stop_pipe_, O_NONBLOCK | O_CLOEXEC) != 0) stop_pipe_[0] = stop_pipe_[1] = -1;
}

PrintServer::~PrintServer() {
  for (int fd : listeners_) close(fd);
  for (int fd : stop_pipe_)
    if (fd >= 0) close(fd);
}

void PrintServer::AddListener(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  listeners_.push_back(fd);
}

void PrintServer::AddSerial(int fd, std::string source) {
  serials_.emplace_back(fd, std::move(source));
}

void PrintServer::Stop() {
  stopping_.store(true);
  if (stop_pipe_[1] >= 0) {
    const char c = 0;
    [[maybe_unused]] const ssize_t n = write(stop_pipe_[1], &c, 1);
  }
}

void PrintServer::SetStatus(const render::PrinterStatus& status) {
  bool changed;
  {
    std::lock_guard lock(status_mutex_);
    changed = !(status_ == status);
    status_ = status;
  }
  if (!changed) return;
  std::lock_guard lock(send_mutex_);
  if (asb_ == 0 || out_fd_ < 0) return;
  const auto s = AutomaticStatus(status);
  const int fd = out_fd_;
  if (out_kind_ == Stream::kSocket)
    send(fd, s.data(), s.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  else
    WriteAll(fd, s.data(), s.size());
}

render::PrinterStatus PrintServer::status() const {
  std::lock_guard lock(status_mutex_);
  return status_;
}

// Answers go out as far as the line takes them at once: a client that never reads its
// answers cannot hold up the printer.
void PrintServer::Send(const uint8_t* bytes, size_t size) {
  if (size == 0) return;
  std::lock_guard lock(send_mutex_);
  if (out_fd_ < 0) return;
  if (out_kind_ == Stream::kSocket)
    send(out_fd_, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  else
    WriteAll(out_fd_, bytes, size);
}

void PrintServer::Push(Event&& event) {
  std::unique_lock lock(queue_mutex_);
  queue_cv_.wait(lock, [&] {
    return queued_bytes_ < kMaxQueued || event.kind != Event::Kind::kData || stopping_.load();
  });
  queued_bytes_ += event.data.size();
  ++pushed_;
  queue_.push_back(std::move(event));
  queue_cv_.notify_all();
}

void PrintServer::WaitDrawn() {
  std::unique_lock lock(queue_mutex_);
  queue_cv_.wait(lock, [&] { return drawn_ == pushed_; });
}

uint64_t PrintServer::Run() {
  drawer_ = std::thread([this] { DrawLoop(); });
  std::vector<pollfd> fds;
  fds.push_back({stop_pipe_[0], POLLIN, 0});
  for (int fd : listeners_) fds.push_back({fd, POLLIN, 0});
  for (const auto& s : serials_) fds.push_back({s.first, POLLIN, 0});
  while (!stopping_.load() && (options_.exit_after == 0 || jobs() < options_.exit_after)) {
    for (auto& p : fds) p.revents = 0;
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      if (on_error_) on_error_(std::string("poll: ") + std::strerror(errno));
      break;
    }
    if (fds[0].revents) break;
    for (size_t i = 1; i < fds.size() && !stopping_.load(); ++i) {
      if (!fds[i].revents) continue;
      if (i <= listeners_.size()) {
        const int c = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) continue;
        const int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ServeStream(c, PeerAddress(c), Stream::kSocket);
      } else {
        ServeStream(fds[i].fd, serials_[i - 1 - listeners_.size()].second, Stream::kSerial);
      }
      break;  // one job at a time: look again at every line
    }
  }
  Push({Event::Kind::kQuit, {}, {}, false, {}, false, 0});
  drawer_.join();
  return jobs();
}

void PrintServer::ServeStream(int fd, const std::string& source, Stream kind) {
  {
    std::lock_guard lock(send_mutex_);
    out_fd_ = fd;
    out_kind_ = kind;
    asb_ = 0;
  }
  Push({Event::Kind::kBegin, {}, source, kind == Stream::kSerial, {}, false, 0});
  const auto idle = kind == Stream::kSerial ? std::min(options_.serial_pause, options_.idle_timeout)
                                            : options_.idle_timeout;
  RealtimeScanner scanner;
  std::string ended_by = "close";
  bool cut_short = false;
  uint64_t received = 0, dropped = 0;
  std::vector<uint8_t> answers;
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    const int rc = poll(p, 2, static_cast<int>(idle.count()));
    if (rc < 0 && errno == EINTR) continue;
    if (rc == 0) {
      ended_by = kind == Stream::kSerial ? "pause" : "idle";
      break;
    }
    if (p[1].revents || stopping_.load()) {
      ended_by = "stop";
      cut_short = received > 0;
      break;
    }
    std::vector<uint8_t> chunk(kReadSize);
    const ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      if (kind == Stream::kSerial) {
        // The program on the other side closed the terminal.
        ended_by = "pause";
      } else {
        ended_by = "reset";
        cut_short = true;
      }
      break;
    }
    const uint64_t room = options_.max_job - std::min(options_.max_job, received);
    const size_t take = static_cast<size_t>(std::min<uint64_t>(room, static_cast<uint64_t>(n)));
    dropped += static_cast<uint64_t>(n) - take;
    if (take == 0) continue;
    chunk.resize(take);
    received += take;
    answers.clear();
    scanner.Scan(chunk.data(), chunk.size(), status(), &answers);
    Send(answers.data(), answers.size());
    Push({Event::Kind::kData, std::move(chunk), {}, false, {}, false, 0});
  }
  Push({Event::Kind::kEnd, {}, {}, false, ended_by, cut_short, dropped});
  WaitDrawn();
  {
    std::lock_guard lock(send_mutex_);
    out_fd_ = -1;
    asb_ = 0;
  }
  if (kind == Stream::kSocket) {
    shutdown(fd, SHUT_WR);
    close(fd);
  }
}

void PrintServer::StartJob(Job* job) {
  job->active = true;
  job->cut_seen = false;
  job->record = JobRecord{};
  job->record.source = job->source;
  job->record.start = std::chrono::system_clock::now();
  std::string error;
  if (!store_->Begin(&job->record, &job->bin_fd, &error) && on_error_) on_error_(error);
  if (options_.render) job->roll = std::make_unique<render::RollPng>(options_.paper_dots);
  render::PrinterOptions po;
  po.paper_dots = options_.paper_dots;
  po.profile = options_.profile;
  po.flash_store = options_.flash_store;
  po.nv_graphics_store = options_.nv_graphics_store;
  po.answer_realtime = false;  // the receiving thread has answered them
  po.more_answers = [this](const uint8_t* command, size_t size) {
    return CommandAnswer(command, size, identity_, status(), [this](uint8_t n) {
      std::lock_guard lock(send_mutex_);
      asb_ = n;
    });
  };
  if (options_.render) {
    job->printer = std::make_unique<render::Printer>(po, [job](render::Page&& page) {
      if (job->roll) job->roll->Add(page.dots);
      if (page.cut != render::Cut::kNone && !page.continued) job->cut_seen = true;
    });
  } else {
    job->counter = std::make_unique<JobCounter>(po);
  }
  job->SetStatus(status());
}

void PrintServer::FinishJob(Job* job, const std::string& ended_by, bool cut_short,
                            uint64_t dropped) {
  job->Finish();
  uint8_t replies[256];
  while (size_t n = job->ReadReplies(replies, sizeof replies)) Send(replies, n);
  JobRecord& r = job->record;
  r.report = job->report();
  r.bytes = r.report.bytes;
  r.dropped = dropped;
  r.cut_short = cut_short;
  r.ended_by = ended_by;
  std::string error;
  if (job->bin_fd >= 0 && close(job->bin_fd) != 0) error = r.bin.string() + ": write failed";
  job->bin_fd = -1;
  if (job->roll && job->roll->rows() > 0) {
    const auto png = store_->PathOf(r.number, "png");
    const int fd = store_->Create(png);
    std::FILE* f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    std::string why;
    bool ok = f && job->roll->Write(f, &why);
    if (f)
      ok = std::fclose(f) == 0 && ok;
    else if (fd >= 0)
      close(fd);
    if (ok)
      r.png = png;
    else
      error = png.string() + ": " + (why.empty() ? std::strerror(errno) : why);
  }
  r.end = std::chrono::system_clock::now();
  if (!store_->Finish(r, &error) || !error.empty()) {
    if (on_error_ && !error.empty()) on_error_(error);
  }
  job->printer.reset();
  job->counter.reset();
  job->roll.reset();
  job->active = false;
  ++jobs_done_;
  if (on_job_) on_job_(r);
}

void PrintServer::DrawLoop() {
  // Drawing yields to receiving: on a busy machine the answers to real-time requests
  // must not wait for a time slice behind the drawing.
  errno = 0;
  const int nice_now = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  if (errno == 0)
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), std::min(19, nice_now + 5));
  Job job;
  for (;;) {
    Event e;
    {
      std::unique_lock lock(queue_mutex_);
      queue_cv_.wait(lock, [&] { return !queue_.empty(); });
      e = std::move(queue_.front());
      queue_.pop_front();
    }
    switch (e.kind) {
      case Event::Kind::kBegin:
        job.source = e.source;
        job.split_at_cut = e.split_at_cut;
        break;
      case Event::Kind::kData: {
        size_t i = 0;
        while (i < e.data.size()) {
          if (!job.active) StartJob(&job);
          job.SetStatus(status());
          // On the serial link a cut ends the job: the bytes go in one at a time there
          // (a serial line is slow), so that the job ends right after the cut.
          const uint8_t* p = e.data.data() + i;
          const size_t avail = e.data.size() - i;
          size_t fed = 0;
          if (job.split_at_cut) {
            while (fed < avail && !job.cut_seen) job.Feed(p + fed++, 1);
          } else {
            job.Feed(p, avail);
            fed = avail;
          }
          if (job.bin_fd >= 0 && !WriteAll(job.bin_fd, p, fed)) {
            if (on_error_) on_error_(job.record.bin.string() + ": " + std::strerror(errno));
            close(job.bin_fd);
            job.bin_fd = -1;
          }
          i += fed;
          uint8_t replies[256];
          while (size_t r = job.ReadReplies(replies, sizeof replies)) Send(replies, r);
          if (job.split_at_cut && job.cut_seen) FinishJob(&job, "cut", false, 0);
        }
        break;
      }
      case Event::Kind::kEnd:
        if (job.active) FinishJob(&job, e.ended_by, e.cut_short, e.dropped);
        break;
      case Event::Kind::kQuit:
        break;
    }
    {
      std::lock_guard lock(queue_mutex_);
      queued_bytes_ -= e.data.size();
      ++drawn_;
    }
    queue_cv_.notify_all();
    if (e.kind == Event::Kind::kQuit) return;
  }
}

}  // namespace tillvane::server
