#include "config/ini_write.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

namespace tillvane {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The section a line opens, or nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line[0] != '[') return std::nullopt;
  line.remove_prefix(1);
  if (const size_t close = line.find(']'); close != std::string_view::npos)
    line = line.substr(0, close);
  return Trim(line);
}

// The key a line gives a value to, or nothing.
std::optional<std::string_view> KeyOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line[0] == ';' || line[0] == '[') return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

}  // namespace

std::string WithIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value) {
  const std::string eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  const std::string entry = std::string(key) + "=" + std::string(value);
  bool in_section = false;
  size_t insert_at = std::string_view::npos;  // after the section's last line of content
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    if (const auto name = SectionOf(line)) {
      in_section = SameName(*name, section);
      if (in_section && insert_at == std::string_view::npos) insert_at = next;
    } else if (in_section) {
      if (const auto k = KeyOf(line); k && SameName(*k, key)) {
        const bool cr = !line.empty() && line.back() == '\r';
        return std::string(text.substr(0, pos)) + entry + (cr ? "\r" : "") +
               std::string(text.substr(end));
      }
      if (!Trim(line).empty()) insert_at = next;
    }
    pos = next;
  }
  std::string out(text);
  if (insert_at != std::string_view::npos) {
    // A last line without its end gets one first.
    std::string before = out.substr(0, insert_at);
    if (!before.empty() && before.back() != '\n') before += eol;
    return before + entry + eol + out.substr(insert_at);
  }
  if (!out.empty() && out.back() != '\n') out += eol;
  if (!out.empty()) out += eol;
  return out + "[" + std::string(section) + "]" + eol + entry + eol;
}

bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value, std::string* error) {
  namespace fs = std::filesystem;
  // What the file holds now; a file that is there but cannot be read is left alone, so
  // that nothing of it is lost.
  std::string text;
  if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, got);
    const bool failed = std::ferror(in) != 0;
    const int saved = errno;
    std::fclose(in);
    if (failed) {
      if (error) *error = path + ": " + std::strerror(saved);
      return false;
    }
  } else if (errno != ENOENT) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  std::error_code ec;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  const std::string temporary = path + ".new";
  const std::string out = WithIniValue(text, section, key, value);
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(out.data(), 1, out.size(), f) == out.size();
  int saved = errno;
  if (f != nullptr && std::fclose(f) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    if (f != nullptr) ::unlink(temporary.c_str());
    if (error) *error = path + ": " + std::strerror(saved);
  }
  return ok;
}

}  // namespace tillvane
