// What the printer read, item by item, and where each item drew: for a listing of a
// stream and for finding the command behind a dot. Kept only when asked for
// (PrinterOptions::trace); without it the printer does none of this work.
//
// An item is one command, one run of text, or one run of bytes of no command. Items come
// out in the order of the input and together cover it: each item starts where the one
// before it ended, and the last ends at the input's length. A command that reaches the
// paper leaves marks on the pages (Page::marks): rectangles of dots, each named by the
// offset of the item that drew it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/page.h"

namespace tillvane::protocol {
struct CommandRow;
}

namespace tillvane::render {

enum class ItemKind : uint8_t {
  kCommand,   // a command carried out (it may have drawn nothing)
  kText,      // a run of text
  kUnknown,   // bytes of no command
  kNotDrawn,  // a command read but not drawn (Report::not_drawn)
  kRefused,   // a command refused (Report::refused)
};

// "command", "text", "unknown", "not drawn", "refused".
const char* ItemKindName(ItemKind kind);

struct Item {
  uint64_t offset = 0;
  uint64_t length = 0;
  ItemKind kind = ItemKind::kCommand;
  // The command's row; also for commands not drawn or refused (nullptr where the bytes
  // were refused before any row was found).
  const protocol::CommandRow* row = nullptr;
  // Text: its characters in UTF-8, as the code page or double-byte mode in force read
  // them. Unknown: empty.
  std::string text;
  // Not drawn, refused: why, as the report says it.
  std::string why;
};

using ItemSink = std::function<void(Item&&)>;

// Where an item put its dots: one rectangle of a page per mark.
struct Placement {
  uint64_t page = 0;  // page number (Page::number)
  Mark mark;
};

// The items and marks of one rendering, collected from the printer's sinks and joined:
// which item drew a dot, and where an item drew.
class Trace {
 public:
  // The sinks to hand the printer: its items, and each page as it goes out (the page's
  // marks are copied; the page itself is not kept).
  void AddItem(Item&& item);
  void AddPage(const Page& page);

  const std::vector<Item>& items() const { return items_; }
  // Index of the item that holds byte `offset` of the input; items().size() when none.
  size_t ItemHolding(uint64_t offset) const;
  // Where item `index` drew, in page order and, within a page, in the order drawn.
  std::vector<Placement> PlacementsOf(size_t index) const;
  // The item that drew dot (x, y) of page `page`: of the marks holding the dot, the
  // smallest (the most precise); items().size() when no mark holds it.
  size_t ItemAt(uint64_t page, int x, int y) const;
  // Every mark, in the order the pages went out.
  const std::vector<Placement>& placements() const { return placements_; }

 private:
  std::vector<Item> items_;
  std::vector<Placement> placements_;
};

}  // namespace tillvane::render
