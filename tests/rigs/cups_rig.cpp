#include "tests/rigs/cups_rig.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tillvane::rigs {
namespace fs = std::filesystem;
namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kCupsLib = "/usr/lib/cups";

// The backend of the rig's queues: copies each job to the file named by its device
// URI (capture:/path), appending. Without arguments it lists itself, as every CUPS
// backend must.
constexpr const char* kCaptureBackend = R"(#!/bin/sh
if [ $# -eq 0 ]; then
  echo 'direct capture "Unknown" "Tillvane capture"'
  exit 0
fi
out="${DEVICE_URI#capture:}"
if [ $# -ge 6 ]; then
  cat -- "$6" >> "$out" || exit 1
else
  cat >> "$out" || exit 1
fi
exit 0
)";

bool WriteText(const fs::path& path, const std::string& text, mode_t mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out) return false;
  }
  return ::chmod(path.c_str(), mode) == 0;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Tail(const std::string& text, size_t n) {
  return text.size() <= n ? text : "..." + text.substr(text.size() - n);
}

using Clock = std::chrono::steady_clock;

// A fresh connection to the rig's socket, so that the rig never disturbs the default
// connection of the thread it runs on.
http_t* Connect(const std::string& socket) {
  return httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 2000,
                      nullptr);
}

// Counts the jobs of `name` (all queues when empty) in `which`; -1 on error.
int CountJobs(const std::string& socket, const std::string& name, int which) {
  http_t* http = Connect(socket);
  if (http == nullptr) return -1;
  cups_job_t* jobs = nullptr;
  int n = cupsGetJobs2(http, &jobs, name.empty() ? nullptr : name.c_str(), 0, which);
  if (n < 0 || (n == 0 && cupsLastError() > IPP_STATUS_OK_CONFLICTING &&
                cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)) {
    n = -1;
  }
  cupsFreeJobs(n > 0 ? n : 0, jobs);
  httpClose(http);
  return n;
}

bool Answers(const std::string& socket) {
  http_t* http = Connect(socket);
  if (http == nullptr) return false;
  ipp_t* response = cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
  bool ok = response != nullptr;
  ippDelete(response);
  httpClose(http);
  return ok;
}

}  // namespace

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::string text = ReadText(path);
  return {text.begin(), text.end()};
}

CupsRig::CupsRig() : CupsRig(Options{}) {}

CupsRig::CupsRig(const Options& options) {
  if (::access(kCupsd, X_OK) != 0) {
    error_ = std::string("cupsd not found at ") + kCupsd +
             ": the print-queue tests need the Debian package cups-daemon";
    return;
  }
  // The socket path must fit a sockaddr_un, so stay under /tmp when TMPDIR is long.
  fs::path base = fs::temp_directory_path();
  if (base.string().size() > 60) base = "/tmp";
  std::string tmpl = (base / "tillvane-cups-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) {
    error_ = "cannot create the rig's folder under " + base.string() + ": " + std::strerror(errno);
    return;
  }
  folder_ = tmpl;
  if (!WriteFiles()) return;
  if (!StartDaemon(options)) {
    StopDaemon();
    return;
  }
  const char* previous = std::getenv("CUPS_SERVER");
  had_server_env_ = previous != nullptr;
  if (previous != nullptr) previous_server_env_ = previous;
  ::setenv("CUPS_SERVER", SocketPath().c_str(), 1);
  cupsSetServer(SocketPath().c_str());
  ready_ = true;
}

CupsRig::~CupsRig() {
  StopDaemon();
  if (ready_) {
    if (had_server_env_) {
      ::setenv("CUPS_SERVER", previous_server_env_.c_str(), 1);
    } else {
      ::unsetenv("CUPS_SERVER");
    }
    cupsSetServer(nullptr);
  }
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
}

bool CupsRig::WriteFiles() {
  const fs::path b = folder_;
  std::error_code ec;
  for (const char* sub : {"spool", "spool/tmp", "tmp", "state", "cache", "log", "out", "bin",
                          "bin/backend", "bin/filter", "ppd", "ssl"}) {
    fs::create_directories(b / sub, ec);
    if (ec) {
      error_ = "cannot create " + (b / sub).string() + ": " + ec.message();
      return false;
    }
  }
  fs::create_symlink(fs::path(kCupsLib) / "daemon", b / "bin" / "daemon", ec);
  if (!ec) fs::create_symlink(fs::path(kCupsLib) / "notifier", b / "bin" / "notifier", ec);
  if (ec) {
    error_ = "cannot link the CUPS helper folders: " + ec.message();
    return false;
  }
  // 0700: a backend that others cannot read or run is started as root.
  if (!WriteText(b / "bin" / "backend" / "capture", kCaptureBackend, 0700)) {
    error_ = "cannot write the capture backend";
    return false;
  }

  // The network backend, when the system has one, copied so that it too runs as root
  // and reads the rig's spool. A queue that names it fails to print without it.
  const fs::path socket_backend = fs::path(kCupsLib) / "backend" / "socket";
  if (fs::exists(socket_backend)) {
    fs::copy_file(socket_backend, b / "bin" / "backend" / "socket", ec);
    if (!ec)
      fs::permissions(b / "bin" / "backend" / "socket", fs::perms::owner_all,
                      fs::perm_options::replace, ec);
    if (ec) {
      error_ = "cannot copy " + socket_backend.string() + ": " + ec.message();
      return false;
    }
  }

  std::ostringstream files;
  files << "ServerRoot " << b.string() << "\n"
        << "RequestRoot " << (b / "spool").string() << "\n"
        << "TempDir " << (b / "tmp").string() << "\n"
        << "StateDir " << (b / "state").string() << "\n"
        << "CacheDir " << (b / "cache").string() << "\n"
        << "ServerBin " << (b / "bin").string() << "\n"
        << "ErrorLog " << (b / "log" / "error_log").string() << "\n"
        << "AccessLog " << (b / "log" / "access_log").string() << "\n"
        << "PageLog " << (b / "log" / "page_log").string() << "\n"
        << "Printcap " << (b / "printcap").string() << "\n"
        << "SystemGroup root\n";
  std::ostringstream conf;
  conf << "LogLevel info\n"
       << "Listen " << SocketPath() << "\n"
       << "Browsing No\n"
       << "WebInterface No\n"
       << "DefaultAuthType None\n"
       << "JobRetryLimit 0\n"
       << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
       << "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n"
       << "</Policy>\n"
       // Clients on this machine pass every address rule, so documents are refused by
       // requiring a user no client is.
       << "<Policy refuse-documents>\n"
       << "  <Limit Send-Document>\n    AuthType Default\n    Require user tillvane-nobody\n"
       << "    Order allow,deny\n    Allow all\n  </Limit>\n"
       << "  <Limit Cancel-Job Cancel-My-Jobs Cancel-Jobs Close-Job CUPS-Get-Document "
          "Validate-Job>\n    Order allow,deny\n    Allow all\n  </Limit>\n"
       << "  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n";
  if (!WriteText(b / "cups-files.conf", files.str(), 0644) ||
      !WriteText(b / "cupsd.conf", conf.str(), 0644)) {
    error_ = "cannot write the daemon's configuration in " + b.string();
    return false;
  }
  return true;
}

bool CupsRig::StartDaemon(const Options& options) {
  {
    // MaxJobs goes into cupsd.conf, read at start.
    std::ofstream conf(folder_ / "cupsd.conf", std::ios::app);
    conf << "MaxJobs " << options.max_jobs << "\n";
  }
  const std::string conf = (folder_ / "cupsd.conf").string();
  const std::string files = (folder_ / "cups-files.conf").string();
  const std::string out = (folder_ / "log" / "cupsd.out").string();
  std::vector<char*> argv = {const_cast<char*>(kCupsd),
                             const_cast<char*>("-f"),
                             const_cast<char*>("-c"),
                             const_cast<char*>(conf.c_str()),
                             const_cast<char*>("-s"),
                             const_cast<char*>(files.c_str()),
                             nullptr};
  int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out_fd < 0) {
    error_ = "cannot create " + out;
    return false;
  }
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(out_fd);
    error_ = std::string("fork failed: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    // The daemon must not outlive the test, even when the test dies (SIGKILL: it
    // may be paused).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(out_fd, STDOUT_FILENO);
    ::dup2(out_fd, STDERR_FILENO);
    int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, STDIN_FILENO);
    ::execv(kCupsd, argv.data());
    ::_exit(127);
  }
  ::close(out_fd);
  pid_ = pid;

  const auto deadline = Clock::now() + std::chrono::milliseconds(options.start_timeout_ms);
  while (Clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "cupsd exited at start (status " + std::to_string(status) +
               "): " + Tail(ReadText(out), 800) + Tail(ErrorLog(), 1500);
      return false;
    }
    if (Answers(SocketPath())) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  error_ = "cupsd did not answer within " + std::to_string(options.start_timeout_ms) +
           " ms: " + Tail(ErrorLog(), 1500);
  return false;
}

void CupsRig::PauseDaemon() {
  if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void CupsRig::ResumeDaemon() {
  if (pid_ > 0) ::kill(pid_, SIGCONT);
}

void CupsRig::StopDaemon() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGCONT);  // a paused daemon cannot act on SIGTERM
  ::kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

bool CupsRig::RunTool(const std::vector<std::string>& args) {
  const std::string out = (folder_ / "log" / "tool.out").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error_ = args[0] + " could not be started: " + std::strerror(rc);
    return false;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  error_ = args[0] + " failed (status " + std::to_string(status) + "): " + ReadText(out);
  return false;
}

fs::path CupsRig::AddRawQueue(const std::string& name) {
  if (!ready_) return {};
  fs::path output = folder_ / "out" / (name + ".out");
  if (!WriteText(output, "", 0600)) {
    error_ = "cannot create " + output.string();
    return {};
  }
  if (!RunTool({"/usr/sbin/lpadmin", "-h", SocketPath(), "-p", name, "-E", "-v",
                "capture:" + output.string()})) {
    return {};
  }
  return output;
}

bool CupsRig::AddDeviceQueue(const std::string& name, const std::string& device_uri) {
  return ready_ && RunTool({"/usr/sbin/lpadmin", "-h", SocketPath(), "-p", name, "-E", "-v",
                            device_uri, "-m", "raw"});
}

bool CupsRig::PrintRaw(const std::string& queue, const fs::path& file) {
  return ready_ &&
         RunTool({"/usr/bin/lp", "-h", SocketPath(), "-d", queue, "-o", "raw", file.string()});
}

bool CupsRig::DeleteQueue(const std::string& name) {
  return ready_ && RunTool({"/usr/sbin/lpadmin", "-h", SocketPath(), "-x", name});
}

bool CupsRig::RejectJobs(const std::string& name) {
  return ready_ && RunTool({"/usr/sbin/cupsreject", "-h", SocketPath(), name});
}

bool CupsRig::AcceptJobs(const std::string& name) {
  return ready_ && RunTool({"/usr/sbin/cupsaccept", "-h", SocketPath(), name});
}

bool CupsRig::SetOperationPolicy(const std::string& name, const std::string& policy) {
  return ready_ && RunTool({"/usr/sbin/lpadmin", "-h", SocketPath(), "-p", name, "-o",
                            "printer-op-policy=" + policy});
}

std::vector<CupsRig::Job> CupsRig::Jobs(const std::string& name) {
  std::vector<Job> result;
  http_t* http = Connect(SocketPath());
  if (http == nullptr) return result;
  cups_job_t* jobs = nullptr;
  int n = cupsGetJobs2(http, &jobs, name.c_str(), 0, CUPS_WHICHJOBS_ALL);
  for (int i = 0; i < n; ++i) {
    Job job;
    job.id = jobs[i].id;
    job.title = jobs[i].title != nullptr ? jobs[i].title : "";
    job.format = jobs[i].format != nullptr ? jobs[i].format : "";
    job.state = static_cast<int>(jobs[i].state);
    result.push_back(job);
  }
  cupsFreeJobs(n > 0 ? n : 0, jobs);
  httpClose(http);
  std::sort(result.begin(), result.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
  return result;
}

bool CupsRig::WaitForJobs(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    int active = CountJobs(SocketPath(), "", CUPS_WHICHJOBS_ACTIVE);
    if (active == 0) return true;
    if (active < 0 || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool CupsRig::WaitForOutput(const fs::path& path, uint64_t bytes, int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    std::error_code ec;
    uint64_t size = fs::file_size(path, ec);
    if (!ec && size >= bytes && CountJobs(SocketPath(), "", CUPS_WHICHJOBS_ACTIVE) == 0) {
      return true;
    }
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int CupsRig::JobCount(const std::string& name) {
  return CountJobs(SocketPath(), name, CUPS_WHICHJOBS_ALL);
}

int CupsRig::ActiveJobCount(const std::string& name) {
  return CountJobs(SocketPath(), name, CUPS_WHICHJOBS_ACTIVE);
}

std::string CupsRig::ErrorLog() const {
  if (folder_.empty()) return {};
  return ReadText(folder_ / "log" / "error_log");
}

}  // namespace tillvane::rigs
