// The table of commands: each handler under the bytes that introduce its command. The
// tokenizer finds a command by its row of the protocol's command table; each row takes
// the handlers of its introducer's first two bytes, so that one entry serves every form
// of a command (the GS V cuts, both GS k forms, DLE EOT n and DLE EOT 7).
#include <functional>
#include <iterator>
#include <span>
#include <vector>

#include "render/handlers.h"

namespace tillvane::render {
namespace {

// A command by its first byte, for DLE, ESC, FS and GS by the second, and for a GS (
// family by its third (0: any); `part` runs each part of a command whose data comes in
// parts.
struct Entry {
  uint8_t first;
  uint8_t second;  // 0 for a command of one byte
  CommandHandler handler;
  CommandHandler part = nullptr;
  uint8_t third = 0;
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
    {ESC, '&', Accept},  // user-defined characters: kept by a printer, drawn by none here
    {ESC, '%', EscCharacterTableUser},
    {ESC, '?', Accept},  // cancels a user-defined character, of which none is kept
    {ESC, 't', EscCodeTable},
    {ESC, 'R', EscCharacterSet},
    {ESC, 'V', EscRotate},
    {ESC, '{', EscUpsideDown},
    {ESC, 'r', EscColour},
    {ESC, 'K', FeedBack},
    {ESC, 'e', FeedBack},
    {GS, 'T', GsLineStart},
    {GS, '!', GsCharSize},
    {GS, 'B', GsReverse},
    {GS, 'L', GsLeftMargin},
    {GS, 'W', GsPrintWidth},
    {FS, '&', FsDoubleByteOn},
    {FS, '.', FsDoubleByteOff},
    {FS, '!', FsPrintMode},
    {FS, '-', FsUnderline},
    {FS, 'W', FsQuadruple},
    {FS, 'S', FsSpacing},
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
    {GS, 'v', GsRasterImage, GsRasterRow},
    {FS, 'p', FsPrintFlashLogo},
    {FS, 'q', FsDefineFlashLogos, FsFlashImage},
    {GS, '(', GsGraphics, nullptr, 'L'},
    {GS, '8', GsGraphics},
    {GS, '(', Accept, nullptr, 'A'},  // a test print: the printer's own page
    {GS, '(', Accept, nullptr, 'E'},  // user setup: memory switches and settings
    // Bar codes.
    {GS, 'H', GsHriPosition},
    {GS, 'f', GsHriFont},
    {GS, 'h', GsBarcodeHeight},
    {GS, 'w', GsBarcodeModule},
    {GS, 'k', GsBarcode},
    {GS, '(', GsSymbol2d, nullptr, 'k'},
    // Status.
    {DLE, EOT, DleStatus},
    {GS, 'I', GsPrinterId},
    {GS, 'r', GsStatus},
    {GS, 'a', Accept},  // automatic status back: answered in front of the printer
    // Taken with nothing to draw: the head, the drawer, the sensors, the panel.
    {CR, 0, Accept},
    {DLE, protocol::ENQ, Accept},
    {DLE, protocol::DC4, Accept},
    {ESC, '<', Accept},
    {ESC, '=', Accept},
    {ESC, 'U', Accept},
    {ESC, 'c', Accept},
    {ESC, 'p', Accept},
    {GS, 'E', Accept},
    {GS, 'b', Accept},
};

constexpr bool OneEntryEach() {
  for (size_t i = 0; i < std::size(kCommands); ++i)
    for (size_t j = i + 1; j < std::size(kCommands); ++j)
      if (kCommands[i].first == kCommands[j].first && kCommands[i].second == kCommands[j].second &&
          kCommands[i].third == kCommands[j].third)
        return false;
  return true;
}
static_assert(OneEntryEach(), "two handlers for one command");

struct Handlers {
  CommandHandler command = nullptr;
  CommandHandler part = nullptr;
};

// The handlers of every row of the command table, by the row's place in it.
class RowHandlers {
 public:
  RowHandlers() : rows_(protocol::CommandTable()), handlers_(rows_.size()) {
    for (size_t i = 0; i < rows_.size(); ++i) {
      const protocol::CommandRow& r = rows_[i];
      for (const Entry& e : kCommands) {
        if (e.first != r.intro[0] || e.second != (r.intro_size == 1 ? 0 : r.intro[1])) continue;
        if (e.third == 0 && handlers_[i].command == nullptr)
          handlers_[i] = Handlers{e.handler, e.part};
        else if (e.third != 0 && r.intro_size == 3 && r.intro[2] == e.third)
          handlers_[i] = Handlers{e.handler, e.part};
      }
    }
  }

  const Handlers* Of(const protocol::CommandRow* row) const {
    const std::less<> before;
    if (row == nullptr || before(row, rows_.data()) || !before(row, rows_.data() + rows_.size()))
      return nullptr;
    return &handlers_[static_cast<size_t>(row - rows_.data())];
  }

 private:
  std::span<const protocol::CommandRow> rows_;
  std::vector<Handlers> handlers_;
};

[[gnu::always_inline]] inline const RowHandlers& Table() {
  static const RowHandlers kHandlers;
  return kHandlers;
}

}  // namespace

void Accept(Machine&, const Command&) {}

bool CarriesOut(const protocol::CommandRow* row) {
  const Handlers* h = Table().Of(row);
  return h != nullptr && h->command != nullptr;
}

void RunCommand(Machine& m, const Command& c) {
  if (m.options.more_answers && c.part == 0)
    for (uint8_t b : m.options.more_answers(c.data(), c.size())) m.Reply(b);
  const Handlers* h = Table().Of(c.row);
  const CommandHandler handler = h == nullptr ? nullptr : c.part == 0 ? h->command : h->part;
  if (handler)
    handler(m, c);
  else if (c.part == 0)
    m.NotDrawn(c);
}

}  // namespace tillvane::render
