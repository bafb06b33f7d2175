// The three background jobs: the command-file stream, the logo download and the
// repeated sample receipt. Each holds the sender gate from its starter
// (session/starters.h) until its last synchronised call (Finish), and ends its
// print-queue document there.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/operator_text.h"
#include "session/job_thread.h"
#include "session/job_window.h"

namespace tillvane::jobs {

// Shown when the file stream or the repeated demo fails.
inline constexpr const char* kDataNotSentMessage =
    OPERATOR_TEXT("Operator",
                  "数据不能发送!\n"
                  "Please check whether the printer is connected to the specified port correctly");
inline constexpr const char* kDoneText = OPERATOR_TEXT("Operator", "完  成");
inline constexpr const char* kFailedText = OPERATOR_TEXT("Operator", "Failed");
inline constexpr const char* kDownloadingText = OPERATOR_TEXT("Operator", "下 载...");

// The command file chosen for streaming (full path).
std::string CommandFileName();
void SetCommandFileName(std::string name);

// PrintToFile as it was when the logo page was opened; the logo download puts it back
// when it ends. The window sets it in sbtnDownloadLogoClick, before the download
// turns the copy off, so that logo bytes never fill the command file.
std::atomic<bool>& PrintToFileToRestore();

// The four download choices, copied from the logo page's check boxes when the
// download starts.
struct LogoChoices {
  bool horse = false;   // RAM logo 1, Horse.bmp
  bool lion = false;    // RAM logo 2, Lion.bmp
  bool map = false;     // RAM logo 3, Map.bmp
  bool dragon = false;  // flash logo, Dragon.bmp
};
LogoChoices DownloadChoices();
void SetDownloadChoices(const LogoChoices& choices);

// The path of `name` in `folder`: the entry whose name matches without regard to
// case (an exact match first), or folder + "/" + name when there is none.
std::string FindFileNoCase(const std::string& folder, const std::string& name);

// Position of the progress bar after `sent` of `size` bytes: the whole percentage,
// rounded down; 100 for an empty file.
int32_t ProgressPercent(int64_t sent, int64_t size);

// A job that holds the sender gate: its creator took the gate (TryBeginSending) and
// hands it over; the job releases it in its end call, or when it is destroyed without
// having released it (a job discarded before it started, or ended by an exception).
class SendingJob : public JobThread {
 public:
  explicit SendingJob(Dispatcher& dispatcher) : JobThread(dispatcher) {}
  ~SendingJob() override { ReleaseGate(); }

 protected:
  void ReleaseGate();

 private:
  bool gate_held_ = true;
};

// Streams the file to the link in the block size of its row in the table of link kinds:
// byte by byte on the parallel, serial and print-queue links, in 1024-byte blocks on
// USB and 4096-byte blocks on the network link (the remainder last, even when empty).
// A name that
// cannot be opened as a regular file ends the job silently, its document ended; a
// failed send, or a file that can no longer be read, shows kDataNotSentMessage. A stop
// request (the window closing) ends it silently after the send in progress, also when
// that send fails. It runs on a job thread of its own, so that the window keeps
// painting its progress while a long file streams.
class FileStreamJob : public SendingJob {
 public:
  FileStreamJob(Dispatcher& dispatcher, JobWindow& window, std::string file_name);
  ~FileStreamJob() override;

  // Progress calls of the byte-by-byte stream are made at most once in this many
  // milliseconds (the last one, with the final count, always).
  static constexpr uint32_t kProgressIntervalMs = 30;

 protected:
  void Execute() override;

 private:
  enum class Outcome { Done, SendFailed, ReadFailed, Stopped };
  // Shows "count/sizebytes" and the progress bar's position.
  void ReportProgress(int64_t count);
  // The last synchronised call: the progress bar back to 0 (unless the file could not
  // be opened), the document ended, the gate released.
  void Finish(bool reset_progress);
  Outcome StreamBytes(int fd);
  Outcome StreamBlocks(int fd, int32_t block, bool throttled);
  bool ReadAt(int fd, int64_t offset, int32_t length);

  JobWindow& window_;
  std::string file_name_;
  int64_t bytes_sent_ = 0;  // bytes the link took so far: the progress bar's position
  int64_t file_size_ = 0;   // the file's size when the stream started: the bar's end
  std::vector<uint8_t> buffer_;
};

// Downloads the chosen logos: the flash logo (skipped when Dragon.bmp is missing),
// then RAM logos 1 to 3. A stop request ends it between two logos, as a failure.
// It runs off the window's thread because a download can keep the printer busy for
// minutes (the parallel link's busy wait is raised meanwhile).
class LogoDownloadJob : public SendingJob {
 public:
  LogoDownloadJob(Dispatcher& dispatcher, JobWindow& window, std::string program_folder,
                  LogoChoices choices);
  ~LogoDownloadJob() override;

 protected:
  void Execute() override;

 private:
  // The last synchronised call: "完  成" or "Failed", the index buttons, the document
  // ended, PrintToFile restored, the gate released.
  void Finish(bool success);

  JobWindow& window_;
  std::string program_folder_;
  LogoChoices choices_;
};

// Prints the sample receipt for the paper width in force `pieces` times; a failed
// receipt ends it with kDataNotSentMessage. A stop request ends it silently between
// two receipts, or when the receipt in progress fails. It runs off the window's
// thread, so that the operator can stop a long series.
class RepeatedDemoJob : public SendingJob {
 public:
  RepeatedDemoJob(Dispatcher& dispatcher, int32_t pieces, int32_t cutter_mode);
  ~RepeatedDemoJob() override;

 protected:
  void Execute() override;

 private:
  // The last synchronised call: the document ended, the gate released.
  void Finish();

  int32_t pieces_;
  int32_t cutter_mode_;
};

}  // namespace tillvane::jobs
