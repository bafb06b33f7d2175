// The printer other programs print to: jobs come in on listening sockets (one job per
// connection, served one at a time as printers do; the next connection waits in the
// backlog) or on a serial link (a job ends after a pause or at a cut). Each job is drawn
// by a fresh virtual printer on a thread of its own and kept in the job store; real-time
// requests are answered by the receiving thread as the bytes arrive, ahead of the bytes
// waiting to be drawn.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/printer.h"
#include "server/answers.h"
#include "server/job_store.h"

namespace tillvane::server {

struct ServerOptions {
  int paper_dots = render::kDots80mm;
  render::Profile profile = render::Profile::kCn;  // text at power-on; the model name's suffix
  render::PrinterStatus status;
  // A connection that sends nothing this long ends its job.
  std::chrono::milliseconds idle_timeout{30000};
  // The pause that ends a job on the serial link.
  std::chrono::milliseconds serial_pause{2000};
  // Bytes of a job kept; the rest is read and dropped.
  uint64_t max_job = uint64_t{64} << 20;
  bool render = true;                       // false: only .bin and .json
  uint64_t exit_after = 0;                  // jobs served before Run returns; 0 serves until Stop()
  std::filesystem::path flash_store;        // as tillvane-render: empty keeps logos in memory
  std::filesystem::path nv_graphics_store;  // the same for the NV graphics
};

class PrintServer {
 public:
  using JobListener = std::function<void(const JobRecord&)>;
  using ErrorListener = std::function<void(const std::string&)>;

  // `store` outlives the server. The listeners are called on the drawing thread.
  PrintServer(ServerOptions options, JobStore* store, JobListener on_job,
              ErrorListener on_error = {});
  ~PrintServer();
  PrintServer(const PrintServer&) = delete;
  PrintServer& operator=(const PrintServer&) = delete;

  // Before Run. A listening socket (the server closes it) or a serial link's terminal
  // (not closed), with the name its jobs give as their source.
  void AddListener(int fd);
  void AddSerial(int fd, std::string source);

  // Serves until Stop() or options.exit_after jobs; the job in progress is kept.
  // Returns the number of jobs kept.
  uint64_t Run();
  // Any thread, and signal handlers.
  void Stop();

  // Any thread. With automatic status back on, a change goes to the client at once.
  void SetStatus(const render::PrinterStatus& status);
  render::PrinterStatus status() const;
  uint64_t jobs() const { return jobs_done_.load(); }

 private:
  struct Event;
  struct Job;
  enum class Stream { kSocket, kSerial };

  void ServeStream(int fd, const std::string& source, Stream kind);
  void Send(const uint8_t* bytes, size_t size);
  void Push(Event&& event);
  void WaitDrawn();
  void DrawLoop();
  void StartJob(Job* job);
  void FinishJob(Job* job, const std::string& ended_by, bool cut_short, uint64_t dropped);

  ServerOptions options_;
  JobStore* store_;
  JobListener on_job_;
  ErrorListener on_error_;
  PrinterIdentity identity_;
  std::vector<int> listeners_;
  std::vector<std::pair<int, std::string>> serials_;
  int stop_pipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};

  mutable std::mutex status_mutex_;
  render::PrinterStatus status_;

  // The line the answers go to, and automatic status back on it.
  std::mutex send_mutex_;
  int out_fd_ = -1;
  Stream out_kind_ = Stream::kSocket;
  uint8_t asb_ = 0;

  // From the receiving thread to the drawing thread.
  std::mutex queue_mutex_;
  std::condition_variable queue_cv_;
  std::deque<Event> queue_;
  size_t queued_bytes_ = 0;
  uint64_t pushed_ = 0, drawn_ = 0;
  std::thread drawer_;
  std::atomic<uint64_t> jobs_done_{0};
};

}  // namespace tillvane::server
