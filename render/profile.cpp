#include "render/profile.h"

#include <iterator>
#include <string>

namespace tillvane::render {
namespace {

constexpr ProfileInfo kProfiles[] = {
    {Profile::kCn, "cn", true, ""},
    {Profile::kIntl, "intl", false, "-INTL"},
};

}  // namespace

std::span<const ProfileInfo> Profiles() {
  return kProfiles;
}

const ProfileInfo& InfoOf(Profile profile) {
  for (const ProfileInfo& p : kProfiles)
    if (p.profile == profile) return p;
  return kProfiles[0];
}

std::optional<Profile> ProfileNamed(std::string_view name) {
  for (const ProfileInfo& p : kProfiles)
    if (p.name == name) return p.profile;
  return std::nullopt;
}

std::string_view ProfileNames() {
  static const std::string names = [] {
    std::string s;
    for (const ProfileInfo& p : kProfiles) s += (s.empty() ? "" : "|") + std::string(p.name);
    return s;
  }();
  return names;
}

}  // namespace tillvane::render
