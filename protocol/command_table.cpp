#include "protocol/command_table.h"

#include <array>
#include <functional>
#include <iterator>
#include <vector>

#include "protocol/control_bytes.h"
#include "protocol/limits.h"

namespace tillvane::protocol {
namespace {

constexpr CommandRow One(uint8_t b, uint8_t header, std::string_view name,
                         std::string_view meaning) {
  return {name, meaning, {b, 0, 0}, 1, 0, Length::kFixed, header, 0, false, 0, 0, {0, 0}};
}

constexpr CommandRow Two(uint8_t b0, uint8_t b1, uint8_t header, std::string_view name,
                         std::string_view meaning, Length length = Length::kFixed,
                         uint16_t limit = 0) {
  return {name, meaning, {b0, b1, 0}, 2, 0, length, header, limit, false, 0, 0, {0, 0}};
}

constexpr CommandRow Three(uint8_t b0, uint8_t b1, uint8_t first, uint8_t last, uint8_t header,
                           std::string_view name, std::string_view meaning,
                           Length length = Length::kFixed, uint16_t limit = 0) {
  return {name, meaning, {b0, b1, first}, 3, last, length, header, limit, false, 0, 0, {0, 0}};
}

// A sub-function of a GS ( family (pL pH at 3): by its third byte, and the bytes at
// `at` (count 0, 1 or 2).
constexpr CommandRow Sub(uint8_t third, uint8_t at, uint8_t count, uint8_t s0, uint8_t s1,
                         std::string_view name, std::string_view meaning) {
  return {name, meaning, {GS, '(', third}, 3, third, Length::kCount16, 5, 0, true,
          at,   count,   {s0, s1}};
}

// A sub-function of GS 8 L by its function byte (after p1..p4 and m).
constexpr CommandRow Sub8(uint8_t fn, std::string_view name, std::string_view meaning) {
  return {name, meaning, {GS, '8', 'L'}, 3, 'L', Length::kCount32, 7, 0, true, 8, 1, {fn, 0}};
}

constexpr CommandRow kTable[] = {
    // Single bytes.
    One(HT, 1, "HT", "Horizontal tab"),
    One(LF, 1, "LF", "Print and line feed"),
    One(FF, 1, "FF", "Print the page and return to standard mode"),
    One(CR, 1, "CR", "Print and carriage return"),
    One(CAN, 1, "CAN", "Cancel print data in page mode"),
    One(NAK, 2, "NAK", "Feed n dot lines"),
    One(RS, 2, "RS", "Feed n lines"),

    // Real-time commands.
    Three(DLE, EOT, 7, 7, 4, "DLE EOT 7", "Transmit extended real-time status"),
    Three(DLE, EOT, 0, 255, 3, "DLE EOT", "Transmit real-time status"),
    Two(DLE, ENQ, 3, "DLE ENQ", "Send a real-time request to the printer"),
    Two(DLE, DC4, 5, "DLE DC4", "Execute a real-time function (pulse, power off, buffer clear)"),

    // ESC.
    Two(ESC, FF, 2, "ESC FF", "Print the page, staying in page mode"),
    Two(ESC, ' ', 3, "ESC SP", "Set right-side character spacing"),
    Two(ESC, '!', 3, "ESC !", "Select print mode"),
    Two(ESC, '$', 4, "ESC $", "Set absolute print position"),
    Two(ESC, '%', 3, "ESC %", "Select or cancel the user-defined character set"),
    Two(ESC, '&', 5, "ESC &", "Define user-defined characters", Length::kUserChars),
    Two(ESC, '*', 5, "ESC *", "Print a bit image of 8 or 24 dots", Length::kBitImage),
    Two(ESC, '-', 3, "ESC -", "Turn underline mode on or off"),
    Two(ESC, '2', 2, "ESC 2", "Select the default line spacing"),
    Two(ESC, '3', 3, "ESC 3", "Set line spacing"),
    Two(ESC, '<', 2, "ESC <", "Return the print head home"),
    Two(ESC, '=', 3, "ESC =", "Select the peripheral device"),
    Two(ESC, '?', 3, "ESC ?", "Cancel a user-defined character"),
    Two(ESC, '@', 2, "ESC @", "Initialize the printer"),
    Two(ESC, 'D', 2, "ESC D", "Set horizontal tab positions", Length::kZeroEnded, kMaxTabs),
    Two(ESC, 'E', 3, "ESC E", "Turn emphasized mode on or off"),
    Two(ESC, 'F', 3, "ESC F", "Select the character font"),
    Two(ESC, 'G', 3, "ESC G", "Turn double-strike mode on or off"),
    Two(ESC, 'J', 3, "ESC J", "Print and feed n motion units"),
    Two(ESC, 'K', 3, "ESC K", "Print and feed back n motion units"),
    Two(ESC, 'L', 2, "ESC L", "Select page mode"),
    Two(ESC, 'M', 3, "ESC M", "Select the character font"),
    Two(ESC, 'R', 3, "ESC R", "Select an international character set"),
    Two(ESC, 'S', 2, "ESC S", "Select standard mode"),
    Two(ESC, 'T', 3, "ESC T", "Select the print direction in page mode"),
    Two(ESC, 'U', 3, "ESC U", "Turn unidirectional printing on or off"),
    Two(ESC, 'V', 3, "ESC V", "Turn 90-degree rotation on or off"),
    Two(ESC, 'W', 10, "ESC W", "Set the print area in page mode"),
    Two(ESC, '\\', 4, "ESC \\", "Set relative print position"),
    Two(ESC, 'a', 3, "ESC a", "Select justification"),
    Two(ESC, 'c', 4, "ESC c", "Select paper sensors or enable panel buttons"),
    Two(ESC, 'd', 3, "ESC d", "Print and feed n lines"),
    Two(ESC, 'e', 3, "ESC e", "Print and feed back n lines"),
    Two(ESC, 'i', 2, "ESC i", "Full cut"),
    Two(ESC, 'm', 2, "ESC m", "Partial cut"),
    Two(ESC, 'p', 5, "ESC p", "Generate a pulse (open the cash drawer)"),
    Two(ESC, 'r', 3, "ESC r", "Select the print color"),
    Two(ESC, 't', 3, "ESC t", "Select the character code table"),
    Two(ESC, '{', 3, "ESC {", "Turn upside-down printing on or off"),

    // FS: Chinese characters and flash logos.
    Two(FS, '!', 3, "FS !", "Set print mode of Chinese characters"),
    Two(FS, '&', 2, "FS &", "Select Chinese character mode"),
    Two(FS, '-', 3, "FS -", "Turn underline of Chinese characters on or off"),
    Two(FS, '.', 2, "FS .", "Cancel Chinese character mode"),
    Two(FS, '2', 75, "FS 2", "Define a user-defined Chinese character"),
    Two(FS, 'C', 3, "FS C", "Select the Chinese character code system"),
    Two(FS, 'S', 4, "FS S", "Set left and right spacing of Chinese characters"),
    Two(FS, 'W', 3, "FS W", "Turn quadruple size of Chinese characters on or off"),
    Two(FS, 'p', 4, "FS p", "Print a flash logo"),
    Two(FS, 'q', 3, "FS q", "Define the flash logos", Length::kFlashLogos),

    // GS.
    Two(GS, '!', 3, "GS !", "Select character size"),
    Two(GS, '#', 3, "GS #", "Select the RAM logo to define or print"),
    Two(GS, '$', 4, "GS $", "Set absolute vertical print position in page mode"),
    Two(GS, '*', 4, "GS *", "Define the RAM logo", Length::kRamLogo),
    Two(GS, '/', 3, "GS /", "Print the RAM logo"),
    Two(GS, ':', 2, "GS :", "Start or end a macro definition"),
    Two(GS, 'B', 3, "GS B", "Turn white/black reverse printing on or off"),
    Two(GS, 'E', 3, "GS E", "Select the print head control"),
    Two(GS, 'H', 3, "GS H", "Select the position of bar code text"),
    Two(GS, 'I', 3, "GS I", "Transmit the printer ID"),
    Two(GS, 'L', 4, "GS L", "Set the left margin"),
    Two(GS, 'P', 4, "GS P", "Set horizontal and vertical motion units"),
    Two(GS, 'T', 3, "GS T", "Set the print position to the start of the line"),
    Two(GS, 'W', 4, "GS W", "Set the print area width"),
    Two(GS, '\\', 4, "GS \\", "Set relative vertical print position in page mode"),
    Two(GS, '^', 5, "GS ^", "Execute a macro"),
    Two(GS, 'a', 3, "GS a", "Enable or disable automatic status back"),
    Two(GS, 'b', 3, "GS b", "Turn smoothing on or off"),
    Two(GS, 'f', 3, "GS f", "Select the font of bar code text"),
    Two(GS, 'h', 3, "GS h", "Set bar code height"),
    Two(GS, 'r', 3, "GS r", "Transmit status"),
    Two(GS, 'w', 3, "GS w", "Set bar code module width"),
    Three(GS, 'V', 0, 1, 3, "GS V", "Cut the paper (0 full, 1 partial)"),
    Three(GS, 'V', '0', '1', 3, "GS V", "Cut the paper ('0' full, '1' partial)"),
    Three(GS, 'V', 'A', 'B', 4, "GS V", "Feed n and cut the paper (A full, B partial)"),
    Three(GS, 'V', 'a', 'b', 4, "GS V", "Feed n and cut the paper (a full, b partial)"),
    Three(GS, 'V', 'g', 'h', 4, "GS V", "Reserve the cut position (g full, h partial)"),
    Three(GS, 'k', 0, 6, 3, "GS k", "Print a bar code, data ended by a zero byte (m 0..6)",
          Length::kZeroEnded, kMaxZeroEndedData),
    Three(GS, 'k', 65, 73, 4, "GS k", "Print a bar code of n data bytes (m 65..73)",
          Length::kCountByte),
    Three(GS, 'v', '0', '0', 8, "GS v 0", "Print a raster bit image", Length::kRaster),
    Three(GS, '8', 'L', 'L', 7, "GS 8 L", "Graphics data with a four-byte length",
          Length::kCount32),
    Two(GS, '(', 5, "GS (", "Extended command of pL pH data bytes", Length::kCount16),

    // Sub-functions of the families above, for their names only.
    Sub('A', 0, 0, 0, 0, "GS ( A", "Execute a test print"),
    Sub('E', 5, 1, 1, 0, "GS ( E 1", "Change into the user setting mode"),
    Sub('E', 5, 1, 2, 0, "GS ( E 2", "End the user setting mode"),
    Sub('E', 5, 1, 3, 0, "GS ( E 3", "Change the memory switches"),
    Sub('E', 5, 1, 4, 0, "GS ( E 4", "Transmit the memory switch settings"),
    Sub('E', 5, 1, 5, 0, "GS ( E 5", "Set customized setting values"),
    Sub('E', 5, 1, 6, 0, "GS ( E 6", "Transmit customized setting values"),
    Sub('E', 0, 0, 0, 0, "GS ( E", "User setup command"),
    Sub('L', 6, 1, 48, 0, "GS ( L 48", "Transmit the NV graphics memory capacity"),
    Sub('L', 6, 1, 50, 0, "GS ( L 50", "Print the graphics data in the print buffer"),
    Sub('L', 6, 1, 51, 0, "GS ( L 51", "Transmit the remaining graphics memory capacity"),
    Sub('L', 6, 1, 64, 0, "GS ( L 64", "Transmit the key codes of the NV graphics"),
    Sub('L', 6, 1, 65, 0, "GS ( L 65", "Delete all NV graphics"),
    Sub('L', 6, 1, 66, 0, "GS ( L 66", "Delete the NV graphics of one key code"),
    Sub('L', 6, 1, 67, 0, "GS ( L 67", "Define NV graphics data (raster)"),
    Sub('L', 6, 1, 69, 0, "GS ( L 69", "Print NV graphics"),
    Sub('L', 6, 1, 112, 0, "GS ( L 112", "Store graphics data in the print buffer (raster)"),
    Sub('L', 6, 1, 113, 0, "GS ( L 113", "Store graphics data in the print buffer (columns)"),
    Sub('L', 0, 0, 0, 0, "GS ( L", "Graphics command"),
    Sub('k', 5, 2, 48, 65, "GS ( k 48 65", "PDF417: set the number of columns"),
    Sub('k', 5, 2, 48, 66, "GS ( k 48 66", "PDF417: set the number of rows"),
    Sub('k', 5, 2, 48, 67, "GS ( k 48 67", "PDF417: set the module width"),
    Sub('k', 5, 2, 48, 68, "GS ( k 48 68", "PDF417: set the row height"),
    Sub('k', 5, 2, 48, 69, "GS ( k 48 69", "PDF417: set the error correction level"),
    Sub('k', 5, 2, 48, 70, "GS ( k 48 70", "PDF417: select the options"),
    Sub('k', 5, 2, 48, 80, "GS ( k 48 80", "PDF417: store the data"),
    Sub('k', 5, 2, 48, 81, "GS ( k 48 81", "PDF417: print the stored symbol"),
    Sub('k', 5, 2, 48, 82, "GS ( k 48 82", "PDF417: transmit the size of the stored symbol"),
    Sub('k', 5, 2, 49, 65, "GS ( k 49 65", "QR Code: select the model"),
    Sub('k', 5, 2, 49, 67, "GS ( k 49 67", "QR Code: set the module size"),
    Sub('k', 5, 2, 49, 69, "GS ( k 49 69", "QR Code: select the error correction level"),
    Sub('k', 5, 2, 49, 80, "GS ( k 49 80", "QR Code: store the data"),
    Sub('k', 5, 2, 49, 81, "GS ( k 49 81", "QR Code: print the stored symbol"),
    Sub('k', 5, 2, 49, 82, "GS ( k 49 82", "QR Code: transmit the size of the stored symbol"),
    Sub('k', 5, 2, 50, 65, "GS ( k 50 65", "MaxiCode: select the mode"),
    Sub('k', 5, 2, 50, 80, "GS ( k 50 80", "MaxiCode: store the data"),
    Sub('k', 5, 2, 50, 81, "GS ( k 50 81", "MaxiCode: print the stored symbol"),
    Sub('k', 0, 0, 0, 0, "GS ( k", "Two-dimensional symbol command"),
    Sub8(67, "GS 8 L 67", "Define NV graphics data (raster, four-byte length)"),
    Sub8(68, "GS 8 L 68", "Define NV graphics data (columns, four-byte length)"),
    Sub8(83, "GS 8 L 83", "Define download graphics data (raster, four-byte length)"),
    Sub8(112, "GS 8 L 112", "Store graphics data in the print buffer (raster, four-byte length)"),
    Sub8(113, "GS 8 L 113", "Store graphics data in the print buffer (columns, four-byte length)"),
};

bool ThirdMatches(const CommandRow& r, uint8_t b) {
  return b >= r.intro[2] && b <= r.last;
}

// The rows that decide lengths: the row of a single-byte command by its byte, and the
// candidates (in table order) of a longer introducer by its first two bytes. And the
// rows that only name sub-functions, with the rows of the table they may name: those of
// the same first two introducer bytes.
struct Index {
  using Candidates = std::array<std::vector<const CommandRow*>, 256>;
  std::array<const CommandRow*, 256> single{};
  std::array<int8_t, 256> family{};  // into by_second; -1: no longer command starts so
  std::vector<Candidates> by_second;
  std::vector<const CommandRow*> names;
  std::array<bool, std::size(kTable)> named{};
  Index() {
    family.fill(-1);
    for (const CommandRow& r : kTable) {
      if (r.names_only) {
        names.push_back(&r);
      } else if (r.intro_size == 1) {
        if (family[r.intro[0]] < 0 && single[r.intro[0]] == nullptr) single[r.intro[0]] = &r;
      } else if (single[r.intro[0]] == nullptr) {
        if (family[r.intro[0]] < 0) {
          family[r.intro[0]] = static_cast<int8_t>(by_second.size());
          by_second.emplace_back();
        }
        by_second[static_cast<size_t>(family[r.intro[0]])][r.intro[1]].push_back(&r);
      }
    }
    for (size_t i = 0; i < std::size(kTable); ++i)
      for (const CommandRow* n : names)
        if (n->intro[0] == kTable[i].intro[0] && n->intro[1] == kTable[i].intro[1]) named[i] = true;
  }
  // Whether sub-function rows may name a command found by `row`.
  bool Named(const CommandRow* row) const {
    const std::less<> before;
    if (before(row, std::begin(kTable)) || !before(row, std::end(kTable))) return false;
    return named[static_cast<size_t>(row - std::begin(kTable))];
  }
};

// Inlined: it is asked for every command.
[[gnu::always_inline]] inline const Index& TheIndex() {
  static const Index index;
  return index;
}

}  // namespace

std::span<const CommandRow> CommandTable() {
  return kTable;
}

const CommandRow* MatchCommand(const uint8_t* prefix, size_t size, bool* need_more) {
  *need_more = false;
  if (size == 0) {
    *need_more = true;
    return nullptr;
  }
  const Index& index = TheIndex();
  if (const CommandRow* r = index.single[prefix[0]]) return r;
  const int family = index.family[prefix[0]];
  if (family < 0) return nullptr;
  if (size < 2) {
    *need_more = true;
    return nullptr;
  }
  for (const CommandRow* r : index.by_second[static_cast<size_t>(family)][prefix[1]]) {
    if (r->intro_size == 2) return r;
    if (size < 3) {
      *need_more = true;
      return nullptr;
    }
    if (ThirdMatches(*r, prefix[2])) return r;
  }
  return nullptr;
}

const CommandRow* NameCommand(const CommandRow* row, std::span<const uint8_t> bytes) {
  if (row == nullptr || bytes.size() < 3 || !TheIndex().Named(row)) return row;
  for (const CommandRow* r : TheIndex().names) {
    if (r->intro[0] != row->intro[0] || r->intro[1] != row->intro[1] || !ThirdMatches(*r, bytes[2]))
      continue;
    if (bytes.size() < size_t{r->sub_at} + r->sub_size) continue;
    bool match = true;
    for (size_t i = 0; i < r->sub_size; ++i) match = match && bytes[r->sub_at + i] == r->sub[i];
    if (match) return r;
  }
  return row;
}

}  // namespace tillvane::protocol

namespace tillvane::protocol {

std::string Describe(const CommandRow& row, std::span<const uint8_t>) {
  return std::string(row.meaning);
}

}  // namespace tillvane::protocol
