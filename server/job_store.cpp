#include "server/job_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <system_error>
#include <vector>

#include "render/logo_store.h"

namespace tillvane::server {
namespace fs = std::filesystem;
namespace {

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Time(std::chrono::system_clock::time_point t) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms % 1000));
  return buf;
}

std::string Number(uint64_t n) {
  return std::to_string(n);
}

}  // namespace

std::string JobJson(const JobRecord& j) {
  const render::Report& r = j.report;
  std::string s = "{\"job\":" + Number(j.number) + ",\"source\":" + Quote(j.source) +
                  ",\"start\":" + Quote(Time(j.start)) + ",\"end\":" + Quote(Time(j.end)) +
                  ",\"bytes\":" + Number(j.bytes) + ",\"dropped\":" + Number(j.dropped) +
                  ",\"pages\":" + Number(r.pages) + ",\"unknown\":" + Number(r.unknown_bytes) +
                  ",\"not_drawn\":" + Number(r.not_drawn) + ",\"refused\":" + Number(r.refused) +
                  ",\"replies\":" + Number(r.replies) + ",\"notes\":[";
  for (size_t i = 0; i < r.notes.size(); ++i) s += (i ? "," : "") + Quote(r.notes[i]);
  s += "],\"cut_short\":" + std::string(j.cut_short ? "true" : "false") +
       ",\"ended_by\":" + Quote(j.ended_by) + ",\"bin\":" + Quote(j.bin.string()) +
       ",\"png\":" + (j.png.empty() ? std::string("null") : Quote(j.png.string())) + "}";
  return s;
}

std::string JobLine(const JobRecord& j) {
  const render::Report& r = j.report;
  char number[24];
  std::snprintf(number, sizeof number, "%06" PRIu64, j.number);
  std::string s = std::string("job ") + number + " from " + j.source + ": " + Number(j.bytes) +
                  " bytes, " + Number(r.pages) + (r.pages == 1 ? " page, " : " pages, ") +
                  Number(r.unknown_bytes) + " unknown, " + Number(r.refused) + " refused";
  if (j.dropped) s += ", " + Number(j.dropped) + " bytes past the size limit dropped";
  if (j.cut_short) s += ", cut short (" + j.ended_by + ")";
  return s + " -> " + j.bin.string();
}

std::optional<uint64_t> JobNumberOf(const std::string& name) {
  const size_t dot = name.find('.');
  if (dot < 6 || dot == std::string::npos || dot > 19) return std::nullopt;
  const std::string ext = name.substr(dot + 1);
  if (ext != "bin" && ext != "png" && ext != "json") return std::nullopt;
  uint64_t n = 0;
  for (size_t i = 0; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    n = n * 10 + static_cast<uint64_t>(name[i] - '0');
  }
  return n;
}

fs::path JobStore::DefaultFolder() {
  return render::UserDataFile("jobs");
}

std::unique_ptr<JobStore> JobStore::Open(const fs::path& folder, uint64_t keep,
                                         std::string* error) {
  if (folder.empty()) {
    *error = "no jobs folder: set XDG_DATA_HOME or HOME, or give --jobs DIR";
    return nullptr;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec || !fs::is_directory(folder)) {
    *error =
        "jobs folder " + folder.string() + ": " + (ec ? ec.message() : std::string("not a folder"));
    return nullptr;
  }
  // Proof that files can be made there.
  std::string probe = (folder / ".tillvane-probe-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) {
    *error = "jobs folder " + folder.string() + ": cannot be written: " + std::strerror(errno);
    return nullptr;
  }
  close(fd);
  unlink(probe.c_str());
  uint64_t highest = 0;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (auto n = JobNumberOf(entry.path().filename().string())) highest = std::max(highest, *n);
  return std::unique_ptr<JobStore>(new JobStore(folder, keep, highest + 1));
}

fs::path JobStore::PathOf(uint64_t number, const char* extension) const {
  char name[40];
  std::snprintf(name, sizeof name, "%06" PRIu64 ".%s", number, extension);
  return folder_ / name;
}

int JobStore::Create(const fs::path& path) const {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool JobStore::Begin(JobRecord* job, int* bin_fd, std::string* error) {
  job->number = next_++;
  job->bin = PathOf(job->number, "bin");
  *bin_fd = Create(job->bin);
  if (*bin_fd < 0) {
    *error = job->bin.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool JobStore::Finish(const JobRecord& job, std::string* error) {
  const fs::path path = PathOf(job.number, "json");
  const int fd = Create(path);
  bool ok = fd >= 0;
  if (ok) {
    const std::string text = JobJson(job) + "\n";
    ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
  }
  if (!ok) *error = path.string() + ": " + std::strerror(errno);
  Prune();
  return ok;
}

void JobStore::Prune() {
  if (keep_ == 0) return;
  std::map<uint64_t, std::vector<fs::path>> jobs;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec))
    if (auto n = JobNumberOf(entry.path().filename().string())) jobs[*n].push_back(entry.path());
  while (jobs.size() > keep_) {
    for (const fs::path& p : jobs.begin()->second) fs::remove(p, ec);
    jobs.erase(jobs.begin());
  }
}

}  // namespace tillvane::server
