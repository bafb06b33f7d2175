#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>

#include "base/clock.h"
#include "base/message_sink.h"
#include "link/link_state.h"
#include "link/send_data.h"
#include "session/jobs.h"
#include "session/link_kinds.h"
#include "session/sender_gate.h"
#include "session/starters.h"

namespace tillvane::jobs {
namespace {

constexpr int32_t kReadChunk = 64 * 1024;

}  // namespace

FileStreamJob::FileStreamJob(Dispatcher& dispatcher, JobWindow& window, std::string file_name)
    : SendingJob(dispatcher),
      window_(window),
      file_name_(std::move(file_name)),
      buffer_(kReadChunk) {}

FileStreamJob::~FileStreamJob() = default;

void FileStreamJob::ReportProgress(int64_t count) {
  const std::string text = std::to_string(count) + "/" + std::to_string(file_size_) + "bytes";
  const int32_t position = ProgressPercent(count, file_size_);
  Synchronize([&] {
    window_.SetStatusText(text, kNavy);
    window_.SetProgress(position);
  });
}

void FileStreamJob::Finish(bool reset_progress) {
  Synchronize([&] {
    if (reset_progress) window_.SetProgress(0);
    EndJobDocument();
    ReleaseGate();
  });
}

// Reads `length` bytes at `offset` into the buffer; false on a read error or when the
// file has become shorter.
bool FileStreamJob::ReadAt(int fd, int64_t offset, int32_t length) {
  int32_t done = 0;
  while (done < length) {
    ssize_t n =
        ::pread(fd, buffer_.data() + done, static_cast<size_t>(length - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<int32_t>(n);
  }
  return true;
}

FileStreamJob::Outcome FileStreamJob::StreamBytes(int fd) {
  // One byte per send; the file is read a chunk at a time. The window hears of the
  // progress at most every kProgressIntervalMs, and always of the final count.
  uint32_t last_call = TickCount();
  bool pending = false;  // a byte was sent since the last progress call
  int32_t chunk = 0, at = 0;
  while (bytes_sent_ < file_size_) {
    if (StopRequested()) {
      if (pending) ReportProgress(bytes_sent_);
      return Outcome::Stopped;
    }
    if (at == chunk) {
      chunk = static_cast<int32_t>(std::min<int64_t>(kReadChunk, file_size_ - bytes_sent_));
      if (!ReadAt(fd, bytes_sent_, chunk)) {
        if (pending) ReportProgress(bytes_sent_);
        return Outcome::ReadFailed;
      }
      at = 0;
    }
    ++bytes_sent_;
    if (SendData(&buffer_[static_cast<size_t>(at++)], 1) != 0) {
      if (pending) ReportProgress(bytes_sent_ - 1);
      return Outcome::SendFailed;
    }
    pending = true;
    const uint32_t now = TickCount();
    if (bytes_sent_ == file_size_ || now - last_call >= kProgressIntervalMs) {
      ReportProgress(bytes_sent_);
      pending = false;
      last_call = now;
    }
  }
  return Outcome::Done;
}

FileStreamJob::Outcome FileStreamJob::StreamBlocks(int fd, int32_t block, bool throttled) {
  if (static_cast<size_t>(block) > buffer_.size()) buffer_.resize(static_cast<size_t>(block));
  // USB hears of every block; the network link, whose blocks pass in microseconds, at
  // most every kProgressIntervalMs and always of the final count.
  uint32_t last_call = TickCount();
  auto progress = [&](bool last) {
    if (throttled && !last) {
      const uint32_t now = TickCount();
      if (now - last_call < kProgressIntervalMs) return;
      last_call = now;
    }
    ReportProgress(bytes_sent_);
  };
  const int64_t blocks = file_size_ / block;
  for (int64_t i = 0; i < blocks; ++i) {
    if (StopRequested()) return Outcome::Stopped;
    if (!ReadAt(fd, i * block, block)) return Outcome::ReadFailed;
    bytes_sent_ += block;
    if (SendData(buffer_.data(), block) != 0) return Outcome::SendFailed;
    progress(false);
  }
  // The remainder, sent even when it is empty.
  const auto rest = static_cast<int32_t>(file_size_ % block);
  if (!ReadAt(fd, blocks * block, rest)) return Outcome::ReadFailed;
  bytes_sent_ += rest;
  if (SendData(buffer_.data(), rest) != 0) return Outcome::SendFailed;
  progress(true);
  return Outcome::Done;
}

void FileStreamJob::Execute() {
  // Opened as an existing regular file, held exclusively; a name that cannot be
  // opened so ends the job silently (the window is left as it is).
  int fd = ::open(file_name_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  struct stat st {};
  if (fd >= 0 &&
      (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0)) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    Finish(false);
    return;
  }
  file_size_ = st.st_size;
  bytes_sent_ = 0;

  // The link's row says how the file goes out; with no link nothing is sent.
  Outcome outcome = Outcome::Done;
  const int32_t kind = Links().LinkKind.load();
  if (const LinkKindRow* row = FindLinkKind(kind); row != nullptr) {
    if (row->job_block_size == 1) {
      outcome = StreamBytes(fd);
    } else if (row->job_block_size > 1) {
      outcome = StreamBlocks(fd, row->job_block_size, row->job_progress_throttled);
    }
  }
  // While the window closes, a send that fails on a stalled printer ends the stream as
  // the stop request would: silently, so that closing never waits for an OK.
  if ((outcome == Outcome::SendFailed || outcome == Outcome::ReadFailed) && !StopRequested())
    Synchronize([] { ShowMessage(kDataNotSentMessage); });
  ::close(fd);
  Finish(true);
}

bool BeginCommandFileChoice() {
  if (SendingInProgress()) return false;
  Links().PrintToFile = false;
  return true;
}

StartResult StartCommandFileStream(Dispatcher& dispatcher, JobWindow& window,
                                   const std::string& chosen_path,
                                   const std::string& program_folder) {
  if (!TryBeginSending()) return StartResult::Busy;
  Links().PrintToFile = false;
  // A relative name means the folder that was current when it was chosen.
  std::string full;
  if (!chosen_path.empty()) {
    std::error_code ec;
    full = std::filesystem::absolute(chosen_path, ec).string();
    if (ec) full = chosen_path;
  }
  // From now on "Commands.dat" lies in the program's folder.
  if (!program_folder.empty()) (void)::chdir(program_folder.c_str());
  SetCommandFileName(full);
  if (full.empty()) {
    EndSending();
    return StartResult::NotStarted;
  }
  auto job = std::make_unique<FileStreamJob>(dispatcher, window, full);
  if (!StartJobDocument()) return StartResult::NotStarted;
  JobThread::Start(std::move(job));
  return StartResult::Started;
}

}  // namespace tillvane::jobs
