// The folders of the program as layers, bottom to top, and which other layers each
// may include. A new layer is one row here (and the layers that use it name it in
// their own row); the build's libraries in CMakeLists.txt follow the same table.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tillvane::layering {

struct Layer {
  std::string_view folder;
  std::string_view may_use;  // the other layers it may include, by folder, space-separated
};

inline constexpr Layer kLayers[] = {
    {"protocol", ""},
    {"base", ""},
    {"render", "base protocol"},
    {"server", "base protocol render"},
    {"abi", ""},
    {"config", "base"},
    {"link", "base abi config render"},
    {"commands", "base protocol link"},
    {"documents", "base commands config"},
    {"session", "base protocol abi config link commands documents render server"},
    {"app", "base protocol abi config link commands documents session render"},
    {"plugins", "abi"},
};

// Folders whose files may include any folder.
inline constexpr std::string_view kFreeFolders[] = {"tests", "bench"};

// Every quoted include of the C and C++ files under `root` (build trees and hidden
// folders left out) that the table does not allow, one line each, as
// "path:line: ..." with the path relative to `root`. Empty when all are allowed.
// Includes naming no folder ("x.h") are the including file's own folder. A folder
// that is neither a layer nor free may include nothing in quotes.
std::vector<std::string> ForbiddenIncludes(const std::filesystem::path& root);

}  // namespace tillvane::layering
