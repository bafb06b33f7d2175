#include "config/ini_write.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

}  // namespace

std::string WithIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value) {
  const std::string line = std::string(key) + "=" + std::string(value);
  // The line ending of the file, so that a file written on the other platform stays one.
  const std::string eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  bool in_section = false, section_seen = false;
  size_t insert_at = std::string_view::npos;  // after the last key line of the section
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    const std::string_view trimmed = Trim(text.substr(pos, end - pos));
    if (!trimmed.empty() && trimmed.front() == '[') {
      std::string_view name = trimmed.substr(1);
      name = name.substr(0, name.find(']'));
      // Only the first occurrence of the section is written to; the reader takes a key
      // from the first line that has it anyway.
      in_section = !section_seen && SameName(Trim(name), Trim(section));
      if (in_section) {
        section_seen = true;
        insert_at = next;
      }
    } else if (in_section && !trimmed.empty() && trimmed.front() != ';') {
      const size_t eq = trimmed.find('=');
      if (eq != std::string_view::npos && SameName(Trim(trimmed.substr(0, eq)), Trim(key))) {
        const std::string_view keep_eol = text.substr(end, next - end);
        const bool cr = end > pos && text[end - 1] == '\r';
        return std::string(text.substr(0, pos)) + line + (cr ? "\r" : "") + std::string(keep_eol) +
               std::string(text.substr(next));
      }
      insert_at = next;
    }
    pos = next;
  }
  std::string out(text);
  if (!section_seen) {
    // A new section after a blank line.
    if (!out.empty() && out.back() != '\n') out += eol;
    if (!out.empty()) out += eol;
    return out + "[" + std::string(section) + "]" + eol + line + eol;
  }
  std::string head = out.substr(0, insert_at);
  if (!head.empty() && head.back() != '\n') head += eol;
  return head + line + eol + out.substr(insert_at);
}

namespace {

// The whole of `path` into `text`; a file that is not there is empty. False and `error`
// when it is there but cannot be read.
bool ReadIni(const std::string& path, std::string* text, bool* missing, std::string* error) {
  text->clear();
  *missing = false;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    if (errno == ENOENT) {
      *missing = true;
      return true;
    }
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  char chunk[4096];
  size_t got = 0;
  // A Tillvane.ini is a few kilobytes; anything past a megabyte is not one.
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0 && text->size() < (1u << 20))
    text->append(chunk, got);
  const bool failed = std::ferror(in) != 0 || text->size() >= (1u << 20);
  const int saved = errno;
  std::fclose(in);
  if (failed && error) *error = path + ": " + (saved ? std::strerror(saved) : "too large");
  return !failed;
}

}  // namespace

bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value, std::string* error) {
  return WriteIniValues(path, {}, section, {{key, value}}, error);
}

bool WriteIniValues(const std::string& path, const std::string& seed, std::string_view section,
                    std::initializer_list<IniValue> values, std::string* error) {
  namespace fs = std::filesystem;
  // What the file holds now; a file that is there but cannot be read is left alone, so
  // that nothing of it is lost.
  std::string text;
  bool missing = false;
  if (!ReadIni(path, &text, &missing, error)) return false;
  if (missing && !seed.empty() && !ReadIni(seed, &text, &missing, error)) return false;
  std::error_code ec;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  const std::string temporary = path + ".new";
  std::string out = std::move(text);
  for (const IniValue& v : values) out = WithIniValue(out, section, v.first, v.second);
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
