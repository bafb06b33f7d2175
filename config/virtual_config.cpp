#include "config/virtual_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "config/config_location.h"

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
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool HasControl(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// The whole file, or empty when there is none; false when it is there but unreadable.
bool ReadWhole(const std::string& path, std::string* text) {
  text->clear();
  if (path.empty()) return true;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return errno == ENOENT;
  char chunk[4096];
  size_t got;
  // A Tillvane.ini is a few kilobytes; anything past a megabyte is not one.
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0 && text->size() < (1u << 20))
    text->append(chunk, got);
  const bool ok = !std::ferror(f) && text->size() < (1u << 20);
  std::fclose(f);
  return ok;
}

}  // namespace

VirtualConfig LoadVirtualConfig(const IniFile& ini) {
  VirtualConfig c;
  c.Accept = ini.ReadInteger("Virtual", "Accept", 0) == 1;
  c.Listen = ini.ReadString("Virtual", "Listen", "");
  if (c.Listen.empty()) c.Listen = kDefaultVirtualListen;
  c.Serial = ini.ReadString("Virtual", "Serial", "");
  return c;
}

std::string VirtualConfigProblem(const VirtualConfig& config) {
  if (HasControl(config.Listen)) return "Listen holds a control character";
  if (HasControl(config.Serial)) return "Serial holds a control character";
  const size_t colon = config.Listen.rfind(':');
  const std::string port = colon == std::string::npos ? "" : config.Listen.substr(colon + 1);
  if (colon == 0 || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535)
    return "Listen=" + config.Listen + " is not ADDRESS:PORT (a port from 0 to 65535)";
  return {};
}

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
    if (!out.empty() && out.back() != '\n') out += eol;
    return out + "[" + std::string(section) + "]" + eol + line + eol;
  }
  std::string head = out.substr(0, insert_at);
  if (!head.empty() && head.back() != '\n') head += eol;
  return head + line + eol + out.substr(insert_at);
}

bool SaveVirtualConfig(const std::string& path, const std::string& seed,
                       const VirtualConfig& config, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    return false;
  };
  if (path.empty()) return fail("no user folder to keep the settings in");
  if (const std::string problem = VirtualConfigProblem(config); !problem.empty())
    return fail(problem);
  std::string text;
  std::error_code ec;
  const bool exists = std::filesystem::exists(path, ec);
  if (!ReadWhole(exists ? path : seed, &text))
    return fail(std::string("cannot be read: ") + std::strerror(errno));
  text = WithIniValue(text, "Virtual", "Accept", config.Accept ? "1" : "0");
  text = WithIniValue(text, "Virtual", "Listen", config.Listen);
  text = WithIniValue(text, "Virtual", "Serial", config.Serial);

  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail(std::strerror(errno));
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int saved_errno = errno;
  const bool closed = ::close(fd) == 0;
  if (done != text.size() || !closed) {
    ::unlink(temp.c_str());
    return fail(std::strerror(done != text.size() ? saved_errno : errno));
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const int e = errno;
    ::unlink(temp.c_str());
    return fail(std::strerror(e));
  }
  return true;
}

std::string UserConfigPath() {
  const std::vector<std::string> places =
      ConfigCandidates(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"), std::string());
  return places.size() > 1 ? places.front() : std::string();
}

}  // namespace tillvane
