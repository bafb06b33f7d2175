#include "server/cli/printer_cli.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "render/graphics.h"
#include "render/logo_store.h"
#include "server/job_store.h"
#include "server/listener.h"
#include "server/print_server.h"

namespace tillvane::server {
namespace {

constexpr const char* kUsage =
    "usage: tillvane-printer [--listen ADDR:PORT]... [--serial LINK] [--jobs DIR]\n"
    "                        [--paper 80|56] [--state paper-out|near-end|cover-open|offline]...\n"
    "                        [--idle-timeout S] [--max-job MB] [--keep N] [--no-render]\n"
    "                        [--json] [--exit-after N] [--strict] [--profile cn|intl]\n"
    "  A virtual receipt printer other programs print to: raw jobs on TCP (default\n"
    "  127.0.0.1:9100, one job per connection) and with --serial on a pseudo-terminal\n"
    "  reached through the link LINK. Every job is kept in DIR (default\n"
    "  $XDG_DATA_HOME/tillvane/jobs) as NNNNNN.bin, NNNNNN.png and NNNNNN.json, and one\n"
    "  line per job goes to standard output (--json: one JSON object a line).\n"
    "  --idle-timeout ends a job after S seconds without bytes (default 30); --max-job\n"
    "  keeps the first MB megabytes of a job (default 64); --keep keeps the newest N jobs\n"
    "  (default 1000, 0 keeps all); --exit-after ends after N jobs; --strict exits 3 when\n"
    "  a job had bytes of no known command or commands not drawn. --profile: the\n"
    "  printer's text at power-on, cn double-byte GBK (the default) or intl single-byte\n"
    "  code page PC437; the model name it gives (GS I) follows.\n";

// SIGINT and SIGTERM only write a byte to this pipe, which lives as long as the process:
// a signal that comes while the server is being taken down touches nothing of it. A
// watcher thread turns the byte into a stop.
int g_signal_pipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &c, 1);
}

// Stops `server` when a signal's byte arrives, for as long as it lives.
class SignalWatcher {
 public:
  explicit SignalWatcher(PrintServer& server) {
    static std::once_flag once;
    std::call_once(once, [] {
      if (pipe2(g_signal_pipe, O_NONBLOCK | O_CLOEXEC) != 0) g_signal_pipe[0] = -1;
    });
    char stale[64];
    while (g_signal_pipe[0] >= 0 && read(g_signal_pipe[0], stale, sizeof stale) > 0) {
    }
    if (pipe2(done_, O_CLOEXEC) != 0) done_[0] = done_[1] = -1;
    thread_ = std::thread([this, &server] {
      pollfd p[2] = {{g_signal_pipe[0], POLLIN, 0}, {done_[0], POLLIN, 0}};
      while (poll(p, 2, -1) < 0 && errno == EINTR) {
      }
      if ((p[0].revents & POLLIN) != 0) server.Stop();
    });
  }
  ~SignalWatcher() {
    const char c = 0;
    [[maybe_unused]] const ssize_t n = write(done_[1], &c, 1);
    thread_.join();
    for (int fd : done_)
      if (fd >= 0) close(fd);
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  int done_[2] = {-1, -1};
  std::thread thread_;
};

bool ParseCount(const std::string& v, uint64_t max, uint64_t* out) {
  if (v.empty() || v.size() > 12 || v.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *out = std::strtoull(v.c_str(), nullptr, 10);
  return *out <= max;
}

}  // namespace

int RunPrinterCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  std::vector<std::string> listen;
  std::string serial, jobs_dir;
  ServerOptions options;
  bool json = false, strict = false;
  uint64_t keep = 1000;
  auto bad = [err](const std::string& why) {
    std::fprintf(err, "tillvane-printer: %s\n%s", why.c_str(), kUsage);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i], v;
    const bool takes_value = a == "--listen" || a == "--serial" || a == "--jobs" ||
                             a == "--paper" || a == "--state" || a == "--idle-timeout" ||
                             a == "--max-job" || a == "--keep" || a == "--exit-after" ||
                             a == "--profile";
    if (const size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      v = a.substr(eq + 1);
      a.resize(eq);
    } else if (takes_value) {
      if (++i >= argc) return bad(a + " needs a value");
      v = argv[i];
    }
    uint64_t n = 0;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, out);
      return 0;
    } else if (a == "--listen") {
      listen.push_back(v);
    } else if (a == "--serial") {
      if (v.empty()) return bad("--serial needs a link name");
      serial = v;
    } else if (a == "--jobs") {
      if (v.empty()) return bad("--jobs needs a folder");
      jobs_dir = v;
    } else if (a == "--paper") {
      if (v == "80")
        options.paper_dots = render::kDots80mm;
      else if (v == "56")
        options.paper_dots = render::kDotsNarrow;
      else
        return bad("--paper takes 80 or 56, not " + v);
    } else if (a == "--state") {
      if (v == "paper-out")
        options.status.paper_out = true;
      else if (v == "near-end")
        options.status.paper_near_end = true;
      else if (v == "cover-open")
        options.status.cover_open = true;
      else if (v == "offline")
        options.status.offline = true;
      else
        return bad("--state takes paper-out, near-end, cover-open or offline, not " + v);
    } else if (a == "--idle-timeout") {
      if (!ParseCount(v, 86400, &n) || n == 0)
        return bad("--idle-timeout takes seconds from 1 to 86400, not " + v);
      options.idle_timeout = std::chrono::seconds(n);
    } else if (a == "--max-job") {
      if (!ParseCount(v, 1 << 20, &n) || n == 0)
        return bad("--max-job takes megabytes from 1, not " + v);
      options.max_job = n << 20;
    } else if (a == "--keep") {
      if (!ParseCount(v, uint64_t{1} << 40, &keep)) return bad("--keep takes a count, not " + v);
    } else if (a == "--exit-after") {
      if (!ParseCount(v, uint64_t{1} << 40, &n) || n == 0)
        return bad("--exit-after takes a count from 1, not " + v);
      options.exit_after = n;
    } else if (a == "--profile") {
      const auto named = render::ProfileNamed(v);
      if (!named)
        return bad("--profile takes " + std::string(render::ProfileNames()) + ", not " + v);
      options.profile = *named;
    } else if (a == "--no-render") {
      options.render = false;
    } else if (a == "--json") {
      json = true;
    } else if (a == "--strict") {
      strict = true;
    } else {
      return bad("unknown argument " + a);
    }
  }
  // Everything is opened before the first job is taken, so that a mistake is reported
  // at once and by name.
  std::string error;
  const std::filesystem::path folder =
      jobs_dir.empty() ? JobStore::DefaultFolder() : std::filesystem::path(jobs_dir);
  std::unique_ptr<JobStore> store = JobStore::Open(folder, keep, &error);
  if (!store) {
    std::fprintf(err, "tillvane-printer: %s\n", error.c_str());
    return 1;
  }
  std::vector<int> sockets = listen.empty() ? ActivatedListeners() : std::vector<int>{};
  if (listen.empty() && sockets.empty()) listen.push_back(kDefaultListen);
  for (const std::string& address : listen) {
    const int fd = OpenListener(address, &error);
    if (fd < 0) {
      for (int s : sockets) close(s);
      std::fprintf(err, "tillvane-printer: %s\n", error.c_str());
      return 1;
    }
    sockets.push_back(fd);
  }
  std::unique_ptr<SerialLink> link;
  if (!serial.empty()) {
    link = SerialLink::Open(serial, &error);
    if (!link) {
      for (int s : sockets) close(s);
      std::fprintf(err, "tillvane-printer: %s\n", error.c_str());
      return 1;
    }
  }

  options.flash_store = render::DefaultFlashStorePath();
  options.nv_graphics_store = render::DefaultNvGraphicsPath();
  bool unknown_seen = false;
  PrintServer server(
      options, store.get(),
      [&](const JobRecord& job) {
        if (job.report.unknown_bytes || job.report.not_drawn) unknown_seen = true;
        std::fprintf(out, "%s\n", (json ? JobJson(job) : JobLine(job)).c_str());
        std::fflush(out);
      },
      [err](const std::string& message) {
        std::fprintf(err, "tillvane-printer: %s\n", message.c_str());
      });
  // The handlers are in place before the first line says where it listens.
  std::optional<SignalWatcher> watcher;
  watcher.emplace(server);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  struct sigaction old_int = {};
  struct sigaction old_term = {};
  struct sigaction old_pipe = {};
  sigaction(SIGINT, &sa, &old_int);
  sigaction(SIGTERM, &sa, &old_term);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);
  for (int fd : sockets) {
    std::fprintf(err, "tillvane-printer: listening on %s\n", LocalAddress(fd).c_str());
    server.AddListener(fd);
  }
  if (link) {
    std::fprintf(err, "tillvane-printer: serial link %s -> %s\n", link->link().c_str(),
                 link->device().c_str());
    server.AddSerial(link->fd(), "serial:" + link->link().string());
  }
  std::fprintf(err, "tillvane-printer: jobs kept in %s\n", store->folder().c_str());
  std::fflush(err);

  server.Run();
  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  sigaction(SIGPIPE, &old_pipe, nullptr);
  watcher.reset();
  return strict && unknown_seen ? 3 : 0;
}

}  // namespace tillvane::server
