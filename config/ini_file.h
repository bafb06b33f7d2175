// Reader of the initialisation-file format with the private-profile rules of the
// platform the program was first written for:
//   [Section]            section names and key names match without regard to case
//   key = value          blanks around the key and the value are dropped, then one
//                        pair of enclosing quotes ("..." or '...')
//   ; comment            a line whose first non-blank character is ';'
// A value counts up to 2047 bytes (the 2048-byte buffer of the original reading call).
// Values are kept as raw bytes: the file is in code page 936 (GBK) and nothing here
// decodes it. The first occurrence of a key in a section wins; sections of the same
// name are one section. Lines outside any section, and lines without '=', hold no key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tillvane {

inline constexpr size_t kIniValueLimit = 2047;

class IniFile {
 public:
  IniFile() = default;

  // Reads the file; a file that is missing or cannot be read gives an empty IniFile,
  // so that every lookup yields its default.
  static IniFile Load(const std::string& path);
  static IniFile Parse(std::string_view text);

  // The value, or nothing when the section or the key is absent. A key present with
  // an empty value gives the empty text.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // Read as text, then converted with ParseIniInteger.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const;

  bool loaded() const { return loaded_; }

 private:
  struct Section {
    std::string name;                                       // folded to lower case
    std::vector<std::pair<std::string, std::string>> keys;  // folded key, value
  };
  std::vector<Section> sections_;
  bool loaded_ = false;
};

// Integer text: longer than two characters and beginning with "0x" or "0X" is
// hexadecimal; otherwise decimal with an optional sign, where a leading "$" (after the
// sign, if any) marks hexadecimal. Hexadecimal takes up to 8 digits and wraps into the
// signed 32-bit range (FFFFFFFF is -1); decimal outside that range, an empty text or
// anything that is not wholly a number gives `default_value`.
[[nodiscard]] int32_t ParseIniInteger(std::string_view text, int32_t default_value);

}  // namespace tillvane
