// Changing one value of an initialisation file in place, for the few settings the
// program keeps for the operator (the virtual printer's profile). Every other line, its
// comments and its line ends stay as they were; the reading rules are those of
// ini_file.h (names without regard to case, the first key of a section wins).
#pragma once

#include <string>
#include <string_view>

namespace tillvane {

// `text` with key=value in `section`: the line that gives the key its value now is
// replaced; a key the section lacks goes after the section's last line of content; a
// section the text lacks is added at its end.
std::string WithIniValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value);

// The same on the file at `path` (missing: a new file, its folder made), written to a
// temporary file beside it and renamed over it. False and `error` when it cannot be.
bool WriteIniValue(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value, std::string* error);

}  // namespace tillvane
