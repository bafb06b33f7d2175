// Print jobs from other programs for the preview window: a print server (server/) on
// a thread of its own, listening on an address and, when asked, on a serial link. The
// window looks for finished jobs when it refreshes (TakeJobs) and never waits on the
// server: the server's threads only hand finished jobs over under a lock, so stopping
// it from the window's thread can never wait for the window.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/page.h"
#include "render/printer.h"

namespace tillvane::server {
class JobStore;
class PrintServer;
class SerialLink;
}  // namespace tillvane::server

namespace tillvane {

// One finished job as the window shows it.
struct ReceivedJob {
  uint64_t number = 0;
  std::string source;  // "127.0.0.1:40312" or "serial:LINK"
  std::chrono::system_clock::time_point start;
  uint64_t bytes = 0;
  uint64_t unknown_bytes = 0, not_drawn = 0, refused = 0;
  std::string ended_by;  // "close", "idle", "cut", "pause", "reset", "stop"
  // The paper the job printed; empty when it printed none or is too long to show.
  render::Bitmap paper;
  bool too_long = false;
};

struct ReceiverSettings {
  std::string listen;  // "127.0.0.1:9100"; port 0 takes any free port
  std::string serial;  // the serial link's name ("~/" is the home folder); empty: none
  int paper_dots = render::kDots80mm;
  render::PrinterStatus status;
  std::filesystem::path jobs_folder;  // empty: the job store's default folder
};

class JobReceiver {
 public:
  // A job taller than this is listed but not put on the window's paper.
  static constexpr int kMaxShownRows = 100000;
  // Finished jobs the window has not taken yet; past this the oldest lose their paper.
  static constexpr size_t kMaxWaiting = 64;

  JobReceiver();
  ~JobReceiver();  // Stop()
  JobReceiver(const JobReceiver&) = delete;
  JobReceiver& operator=(const JobReceiver&) = delete;

  // Opens the job store, the listening socket and the serial link, and starts serving.
  // False and `error` (naming the address, the link or the folder) when any cannot be
  // opened; nothing is left open then.
  bool Start(const ReceiverSettings& settings, std::string* error);
  // Ends the job in progress (kept as cut short) and joins the server's thread. Any
  // thread but the server's own; does nothing when not running.
  void Stop();
  bool running() const { return server_ != nullptr; }

  // While running: the address listened on (the port chosen for port 0) and the
  // serial link made, empty when none.
  const std::string& address() const { return address_; }
  const std::string& serial_link() const { return serial_link_; }

  // The state the printer answers with; a change is sent at once to a client that
  // asked for automatic status back.
  void SetStatus(const render::PrinterStatus& status);

  // The jobs finished since the last call, oldest first, and the errors met (a job's
  // file that could not be written).
  std::vector<ReceivedJob> TakeJobs();
  std::vector<std::string> TakeErrors();

 private:
  void Finished(ReceivedJob&& job);

  std::unique_ptr<server::JobStore> store_;
  std::unique_ptr<server::SerialLink> link_;
  std::unique_ptr<server::PrintServer> server_;
  std::thread thread_;
  std::string address_, serial_link_;

  std::mutex mutex_;  // guards what the server's threads hand over
  std::vector<ReceivedJob> waiting_;
  std::vector<std::string> errors_;
};

// "~/x" as $HOME/x; any other name as it is.
std::string ExpandHome(const std::string& name);

}  // namespace tillvane
