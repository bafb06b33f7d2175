// Changing one value of an initialisation file in place, for the few settings the
// program keeps for the operator (the virtual printer's profile). Every other line, its
// comments and its line ends stay as they were; the reading rules are those of
// ini_file.h (names without regard to case, the first key of a section wins).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace tillvane {

// `text` with key=value in `section`: the first line of that key in the section's first
// occurrence is replaced, or the key is added after that occurrence's last key, or the
// section is added at the end. Only the first occurrence is written to: a reader takes
// a key from there first, whichever way it reads a section given twice.
std::string WithIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value);

// The same on the file at `path` (missing: a new file, its folder made), written to a
// temporary file beside it and renamed over it. False and `error` when it cannot be.
bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value, std::string* error);

// Several keys of one section at once. When `path` does not exist yet and `seed` names a
// file, the new file starts as a copy of it (the file read so far, so that what it holds
// stays).
using IniValue = std::pair<std::string_view, std::string_view>;
bool WriteIniValues(const std::string& path, const std::string& seed, std::string_view section,
                    std::initializer_list<IniValue> values, std::string* error);

}  // namespace tillvane
