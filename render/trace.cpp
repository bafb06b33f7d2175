#include "render/trace.h"

#include <algorithm>

namespace tillvane::render {

const char* ItemKindName(ItemKind kind) {
  switch (kind) {
    case ItemKind::kCommand:
      return "command";
    case ItemKind::kText:
      return "text";
    case ItemKind::kUnknown:
      return "unknown";
    case ItemKind::kNotDrawn:
      return "not drawn";
    case ItemKind::kRefused:
      return "refused";
  }
  return "command";
}

void Trace::AddItem(Item&& item) {
  items_.push_back(std::move(item));
}

void Trace::AddPage(const Page& page) {
  for (const Mark& m : page.marks) placements_.push_back({page.number, m});
}

size_t Trace::ItemHolding(uint64_t offset) const {
  // The last item starting at or before `offset`.
  auto it = std::upper_bound(items_.begin(), items_.end(), offset,
                             [](uint64_t at, const Item& item) { return at < item.offset; });
  if (it == items_.begin()) return items_.size();
  --it;
  if (offset - it->offset >= std::max<uint64_t>(it->length, 1)) return items_.size();
  return static_cast<size_t>(it - items_.begin());
}

std::vector<Placement> Trace::PlacementsOf(size_t index) const {
  std::vector<Placement> out;
  if (index >= items_.size()) return out;
  const Item& item = items_[index];
  for (const Placement& p : placements_)
    if (p.mark.offset >= item.offset && p.mark.offset - item.offset < std::max<uint64_t>(item.length, 1))
      out.push_back(p);
  return out;
}

size_t Trace::ItemAt(uint64_t page, int x, int y) const {
  const Placement* best = nullptr;
  uint64_t best_area = 0;
  for (const Placement& p : placements_) {
    const Mark& m = p.mark;
    if (p.page != page || x < m.left || x >= m.right || y < m.top || y >= m.bottom) continue;
    const uint64_t area =
        static_cast<uint64_t>(m.right - m.left) * static_cast<uint64_t>(m.bottom - m.top);
    if (!best || area < best_area) best = &p, best_area = area;
  }
  return best ? ItemHolding(best->mark.offset) : items_.size();
}

}  // namespace tillvane::render
