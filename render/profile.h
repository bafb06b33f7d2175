// The character profile a printer is sold with: what its text bytes mean at power-on and
// after ESC @. `cn` starts in double-byte GBK mode (FS . leaves it); `intl` starts in
// single-byte mode with code page PC437 (FS & enters double-byte mode). Every place that
// names a profile (the command lines, Tillvane.ini, the preview) reads this one table.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace tillvane::render {

enum class Profile : unsigned char { kCn, kIntl };

struct ProfileInfo {
  Profile profile;
  std::string_view name;          // as typed: "cn", "intl"
  bool double_byte;               // GBK text at power-on
  std::string_view model_suffix;  // added to the model name the printer gives (GS I)
};

std::span<const ProfileInfo> Profiles();
const ProfileInfo& InfoOf(Profile profile);
// The profile of `name` (exactly as in the table); nothing for any other text.
std::optional<Profile> ProfileNamed(std::string_view name);
// "cn|intl", for usage lines and messages.
std::string_view ProfileNames();

}  // namespace tillvane::render
