#include "session/jobs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>

#include "session/sender_gate.h"
#include "session/starters.h"

namespace tillvane::jobs {
namespace {

std::mutex g_state_mutex;
std::string g_command_file_name;
LogoChoices g_choices;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string CommandFileName() {
  std::lock_guard lock(g_state_mutex);
  return g_command_file_name;
}

void SetCommandFileName(std::string name) {
  std::lock_guard lock(g_state_mutex);
  g_command_file_name = std::move(name);
}

std::atomic<bool>& PrintToFileToRestore() {
  static std::atomic<bool> saved{false};
  return saved;
}

LogoChoices DownloadChoices() {
  std::lock_guard lock(g_state_mutex);
  return g_choices;
}

void SetDownloadChoices(const LogoChoices& choices) {
  std::lock_guard lock(g_state_mutex);
  g_choices = choices;
}

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path exact = fs::path(folder) / name;
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact.string();
  const std::string wanted = Lower(name);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == wanted) return it->path().string();
  }
  return exact.string();
}

int32_t ProgressPercent(int64_t sent, int64_t size) {
  if (size <= 0) return 100;  // the whole of nothing has been sent
  sent = std::clamp<int64_t>(sent, 0, size);
  return static_cast<int32_t>(sent * 100 / size);
}

void SendingJob::ReleaseGate() {
  if (gate_held_) {
    gate_held_ = false;
    EndSending();
  }
}

bool ParsePieces(std::string_view text, int32_t* pieces) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > int64_t{INT32_MAX} + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  if (pieces) *pieces = static_cast<int32_t>(value);
  return true;
}

}  // namespace tillvane::jobs
