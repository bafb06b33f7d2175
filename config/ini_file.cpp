#include "config/ini_file.h"

#include <cstdio>
#include <memory>

namespace tillvane {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char Fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Fold(c);
  return out;
}

bool EqualsFolded(std::string_view folded, std::string_view other) {
  if (folded.size() != other.size()) return false;
  for (size_t i = 0; i < other.size(); ++i) {
    if (folded[i] != Fold(other[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  size_t e = s.size();
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

IniFile IniFile::Load(const std::string& path) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return IniFile();
  std::string text;
  char chunk[4096];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  if (std::ferror(file.get())) return IniFile();
  IniFile ini = Parse(text);
  ini.loaded_ = true;
  return ini;
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  // A UTF-8 byte-order mark is not part of the first line.
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::string_view name = line.substr(1);
      size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      std::string folded = Folded(Trim(name));
      current = nullptr;
      for (Section& s : ini.sections_) {
        if (s.name == folded) current = &s;
      }
      if (current == nullptr) {
        ini.sections_.push_back(Section{std::move(folded), {}});
        current = &ini.sections_.back();
      }
      continue;
    }
    if (current == nullptr) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key = Folded(Trim(line.substr(0, eq)));
    if (key.empty()) continue;
    bool seen = false;
    for (const auto& kv : current->keys) {
      if (kv.first == key) seen = true;
    }
    if (seen) continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kIniValueLimit) value = value.substr(0, kIniValueLimit);
    current->keys.emplace_back(std::move(key), std::string(value));
  }
  return ini;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  for (const Section& s : sections_) {
    if (!EqualsFolded(s.name, Trim(section))) continue;
    for (const auto& kv : s.keys) {
      if (EqualsFolded(kv.first, Trim(key))) return kv.second;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  std::optional<std::string> v = Find(section, key);
  return v ? *v : std::string(default_value);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t default_value) const {
  std::optional<std::string> v = Find(section, key);
  return v ? ParseIniInteger(*v, default_value) : default_value;
}

int32_t ParseIniInteger(std::string_view text, int32_t default_value) {
  bool hex = false;
  bool negative = false;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  } else {
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
      negative = text[0] == '-';
      text.remove_prefix(1);
    }
    if (!text.empty() && text[0] == '$') {
      hex = true;
      text.remove_prefix(1);
    }
  }
  if (text.empty()) return default_value;
  if (hex) {
    if (text.size() > 8) return default_value;
    uint32_t value = 0;
    for (char c : text) {
      int d = HexDigit(c);
      if (d < 0) return default_value;
      value = (value << 4) | static_cast<uint32_t>(d);
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
  }
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return default_value;
    value = value * 10 + (c - '0');
    if (value > int64_t{1} << 31) return default_value;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return default_value;
  return static_cast<int32_t>(value);
}

}  // namespace tillvane
