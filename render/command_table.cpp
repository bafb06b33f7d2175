// The table of commands: each handler under the bytes that introduce its command, and
// each kind of data under the handler it goes to once complete.
#include <array>

#include "render/handlers.h"

namespace tillvane::render {
namespace {

// A command is found by its first byte, and for DLE, ESC, FS and GS by the second.
struct Entry {
  uint8_t first;
  uint8_t second;  // 0 for a command of one byte
  CommandHandler handler;
};

constexpr Entry kCommands[] = {
    // Lines and text.
    {HT, 0, HorizontalTab},
    {LF, 0, LineFeed},
    {NAK, 0, FeedDots},
    {RS, 0, FeedDots},
    {ESC, ' ', EscCharSpacing},
    {ESC, '!', EscPrintMode},
    {ESC, '$', EscAbsolutePosition},
    {ESC, '\\', EscRelativePosition},
    {ESC, '-', EscUnderline},
    {ESC, '2', EscDefaultLineSpacing},
    {ESC, '3', EscLineSpacing},
    {ESC, 'E', EscEmphasized},
    {ESC, 'G', EscEmphasized},
    {ESC, 'F', EscFont},
    {ESC, 'M', EscFont},
    {ESC, 'J', EscFeedDots},
    {ESC, 'd', EscFeedLines},
    {ESC, 'a', EscJustify},
    {ESC, 'D', EscTabStops},
    {ESC, '&', EscUserChars},
    {GS, '!', GsCharSize},
    {GS, 'B', GsReverse},
    {GS, 'L', GsLeftMargin},
    {GS, 'W', GsPrintWidth},
    {FS, '&', FsDoubleByteOn},
    {FS, '.', FsDoubleByteOff},
    // Settings and paper.
    {ESC, '@', EscInitialise},
    {GS, 'P', GsMotionUnits},
    {ESC, 'i', EscFullCut},
    {ESC, 'm', EscPartialCut},
    {GS, 'V', GsCut},
    // Page mode.
    {FF, 0, FormFeed},
    {CAN, 0, CancelArea},
    {ESC, 'L', EscPageMode},
    {ESC, 'S', EscStandardMode},
    {ESC, 'T', EscDirection},
    {ESC, 'W', EscArea},
    {ESC, FF, EscPrintArea},
    {GS, '$', GsAbsoluteVertical},
    {GS, '\\', GsRelativeVertical},
    // Images and logos.
    {ESC, '*', EscBitImage},
    {GS, '#', GsSelectRamLogo},
    {GS, '*', GsDefineRamLogo},
    {GS, '/', GsPrintRamLogo},
    {GS, 'v', GsRasterImage},
    {GS, '(', GsSkipData},
    {GS, '8', GsGraphicsData},
    {FS, 'p', FsPrintFlashLogo},
    {FS, 'q', FsDefineFlashLogos},
    // Bar codes.
    {GS, 'H', GsHriPosition},
    {GS, 'f', GsHriFont},
    {GS, 'h', GsBarcodeHeight},
    {GS, 'w', GsBarcodeModule},
    {GS, 'k', GsBarcode},
    // Status.
    {DLE, EOT, DleStatus},
    {GS, 'I', GsPrinterId},
    {GS, 'r', GsStatus},
};

// Rows of the lookup: commands of one byte by that byte, then those introduced by
// DLE, ESC, FS and GS by their second byte.
constexpr uint8_t kIntroducers[] = {DLE, ESC, FS, GS};
constexpr size_t kRows = 1 + std::size(kIntroducers);

constexpr size_t RowOf(uint8_t first) {
  for (size_t i = 0; i < std::size(kIntroducers); ++i)
    if (kIntroducers[i] == first) return i + 1;
  return 0;
}

using Lookup = std::array<std::array<CommandHandler, 256>, kRows>;

constexpr Lookup MakeLookup() {
  Lookup lookup{};
  for (const Entry& e : kCommands) {
    const size_t row = RowOf(e.first);
    CommandHandler& slot = lookup[row][row == 0 ? e.first : e.second];
    if (slot) throw "two handlers for one command";  // stops the build
    slot = e.handler;
  }
  return lookup;
}

constexpr Lookup kLookup = MakeLookup();

// Each kind of data by its Payload value; kNone and kSkip go nowhere.
constexpr PayloadHandler kPayloads[] = {
    nullptr,            // kNone
    nullptr,            // kSkip
    RamLogoDone,        // kRamLogo
    BitImageDone,       // kBitImage
    RasterRowDone,      // kRasterRow
    FlashHeaderDone,    // kFlashHeader
    FlashDataDone,      // kFlashData
    UserCharWidthDone,  // kUserCharWidth
    UserCharDataDone,   // kUserCharData
    BarcodeDataDone,    // kBarcodeData
};
static_assert(std::size(kPayloads) == static_cast<size_t>(Payload::kBarcodeData) + 1);

}  // namespace

void RunCommand(Machine& m, const Command& c) {
  if (m.options.more_answers)
    for (uint8_t b : m.options.more_answers(c.data(), c.size())) m.Reply(b);
  const size_t row = RowOf(c[0]);
  if (row != 0 && c.size() < 2) return;
  const CommandHandler handler = kLookup[row][row == 0 ? c[0] : c[1]];
  if (handler) handler(m, c);
}

void CompletePayload(Machine& m, Payload kind, std::vector<uint8_t>& data) {
  const PayloadHandler handler = kPayloads[static_cast<size_t>(kind)];
  if (handler) handler(m, data);
}

}  // namespace tillvane::render
