// A private CUPS daemon for tests: its own folder, its own unix socket, raw queues whose
// jobs land in plain files. Creating a CupsRig starts the daemon and points this
// process's libcups at it; destroying it stops the daemon and removes the folder.
//
// libcups keeps its server per thread: the rig sets CUPS_SERVER (seen by threads that
// first use libcups after the rig started) and the server of the thread that creates
// it. The daemon is tied to the creating thread (it is killed if that thread ends,
// even when the test dies), so create the rig on a thread that outlives it, normally
// the test's own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tillvane::rigs {

class CupsRig {
 public:
  struct Options {
    // Jobs the daemon keeps, finished ones included (0: no limit).
    int max_jobs = 0;
    // Milliseconds to wait for the daemon to answer after starting it.
    int start_timeout_ms = 15000;
  };

  // Not for use by two threads at once.
  CupsRig();
  explicit CupsRig(const Options& options);
  ~CupsRig();
  CupsRig(const CupsRig&) = delete;
  CupsRig& operator=(const CupsRig&) = delete;

  // True when the daemon answers. Otherwise Error() says why (cupsd missing, the
  // daemon exited, with the end of its log).
  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }

  const std::filesystem::path& Folder() const { return folder_; }
  std::string SocketPath() const { return (folder_ / "cups.sock").string(); }

  // Adds an enabled raw queue whose jobs are appended to the returned file (created
  // empty). Empty path on failure; Error() then holds lpadmin's words.
  std::filesystem::path AddRawQueue(const std::string& name);
  // Adds an enabled raw queue that sends its jobs to `device_uri`, such as
  // socket://127.0.0.1:PORT (through Debian's socket backend, which the rig copies into
  // its own backend folder when the cups package is installed). False on failure;
  // Error() then holds lpadmin's words.
  bool AddDeviceQueue(const std::string& name, const std::string& device_uri);
  // lp -d QUEUE -o raw FILE, as a person sends a raw job. False when lp fails.
  bool PrintRaw(const std::string& queue, const std::filesystem::path& file);
  bool DeleteQueue(const std::string& name);
  // cupsreject / cupsaccept: the queue refuses or takes new jobs.
  bool RejectJobs(const std::string& name);
  bool AcceptJobs(const std::string& name);

  // Puts the queue under one of the daemon's operation policies: "default", or
  // "refuse-documents", which takes Create-Job but refuses every Send-Document (the
  // job's document is then not accepted when it ends).
  bool SetOperationPolicy(const std::string& name, const std::string& policy);

  // Freezes the daemon (SIGSTOP) so that it neither reads nor answers, and thaws it.
  void PauseDaemon();
  void ResumeDaemon();

  // Stops the daemon (SIGTERM, SIGKILL after 5 s). Safe to call twice.
  void StopDaemon();
  bool DaemonRunning() const { return pid_ > 0; }

  // Waits until the daemon holds no pending, held or processing job. False on
  // time-out or when the daemon cannot be asked.
  bool WaitForJobs(int timeout_ms);
  // Waits until `path` holds at least `bytes` bytes and no job is active.
  bool WaitForOutput(const std::filesystem::path& path, uint64_t bytes, int timeout_ms);
  // Every job the daemon knows for the queue, finished ones included; -1 when the
  // daemon cannot be asked.
  int JobCount(const std::string& name);
  // Jobs not yet finished (pending, held, processing) on the queue; -1 on error.
  int ActiveJobCount(const std::string& name);

  struct Job {
    int id = 0;
    std::string title;
    std::string format;  // document format
    int state = 0;       // IPP job state: 3 pending ... 7 cancelled, 8 aborted, 9 completed
  };
  // Every job of the queue the daemon knows, oldest first.
  std::vector<Job> Jobs(const std::string& name);

  // The daemon's error log, for failure messages.
  std::string ErrorLog() const;

 private:
  bool WriteFiles();
  bool StartDaemon(const Options& options);
  bool RunTool(const std::vector<std::string>& argv);

  std::filesystem::path folder_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string error_;
  bool had_server_env_ = false;
  std::string previous_server_env_;
};

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadAll(const std::filesystem::path& path);

}  // namespace tillvane::rigs
