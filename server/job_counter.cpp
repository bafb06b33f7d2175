#include "server/job_counter.h"

#include <string>

#include "protocol/control_bytes.h"

namespace tillvane::server {
namespace {

using protocol::ESC;
using protocol::FS;
using protocol::GS;

bool IsCut(const protocol::Token& t) {
  const auto& b = t.bytes;
  return (b[0] == GS && b.size() > 1 && b[1] == 'V') ||
         (b[0] == ESC && b.size() > 1 && (b[1] == 'i' || b[1] == 'm'));
}

bool Answers(const protocol::Token& t) {
  const auto& b = t.bytes;
  // GS ( k: the size of a stored symbol (fn 82) depends on its settings and data, which the
  // answering printer keeps; only the print (fn 81) is left out.
  if (b.size() >= 7 && b[0] == GS && b[1] == '(' && b[2] == 'k') return b[6] != 81;
  return b.size() == 3 && b[0] == GS && (b[1] == 'r' || b[1] == 'I' || b[1] == 'a');
}

// GS ( L and GS 8 L: their function byte (after m), -1 when the command has none, or
// -2 for any other command.
int GraphicsFunction(const protocol::Token& t) {
  const auto& b = t.bytes;
  if (b.size() < 3 || b[0] != GS || b[2] != 'L' || (b[1] != '(' && b[1] != '8')) return -2;
  const size_t at = b[1] == '(' ? 6 : 8;
  return b.size() > at ? b[at] : -1;
}

// Commands that put dots or paper out: line ends, feeds, images, logos, bar codes.
bool FeedsPaper(const protocol::Token& t) {
  const auto& b = t.bytes;
  if (b[0] == protocol::LF || b[0] == protocol::FF || b[0] == protocol::HT) return true;
  if (b.size() < 2) return false;
  if (b[0] == ESC) return b[1] == 'd' || b[1] == 'J' || b[1] == '*' || b[1] == 'K';
  if (b[0] == FS) return b[1] == 'p';
  if (b[0] == GS) return b[1] == 'v' || b[1] == '/' || b[1] == 'k' || b[1] == '(';
  return false;
}

}  // namespace

JobCounter::JobCounter(render::PrinterOptions answers) {
  // Logos are not drawn here: their store is not read. The NV graphics memory answers
  // what it holds, so it is the job printer's.
  answers.flash_store.clear();
  answers_ = std::make_unique<render::Printer>(std::move(answers));
}

JobCounter::~JobCounter() = default;

void JobCounter::Feed(const uint8_t* bytes, size_t size) {
  tokenizer_.Feed(bytes, size, *this);
  report_.bytes += size;
}

void JobCounter::Finish() {
  tokenizer_.Finish(*this);
  if (paper_fed_) ++report_.pages;
  paper_fed_ = false;
}

size_t JobCounter::ReadReplies(uint8_t* out, size_t max) {
  const size_t n = answers_->ReadReplies(out, max);
  report_.replies += n;
  return n;
}

void JobCounter::OnToken(const protocol::Token& t) {
  switch (t.kind) {
    case protocol::TokenKind::kText:
      paper_fed_ = true;
      break;
    case protocol::TokenKind::kUnknown:
      for (uint64_t i = 0; i < t.count; ++i) {
        ++report_.unknown_bytes;
        if (report_.unknown_offsets.size() < render::Report::kMaxListed)
          report_.unknown_offsets.push_back(t.offset + i);
      }
      break;
    case protocol::TokenKind::kRefused:
      ++report_.refused;
      if (report_.notes.size() < render::Report::kMaxListed)
        report_.notes.push_back("offset " + std::to_string(t.command_offset) + ": " +
                                std::string(t.note));
      break;
    case protocol::TokenKind::kCommand:
      if (t.part != 0 || t.bytes.empty()) break;
      if (!render::CarriesOut(t.row)) {
        ++report_.not_drawn;
        if (report_.not_drawn_notes.size() < render::Report::kMaxListed)
          report_.not_drawn_notes.push_back(std::string(t.row ? t.row->name : "command") + " at " +
                                            std::to_string(t.command_offset) + ": not drawn");
      }
      if (IsCut(t)) {
        ++report_.pages;
        paper_fed_ = false;
      } else if (Answers(t)) {
        answers_->Feed(t.bytes.data(), t.bytes.size());
      } else if (const int fn = GraphicsFunction(t); fn != -2) {
        // The pictures printed (fn 50, 69) put paper out; the print buffer's (fn 112,
        // 113) waits for them; the rest keep the NV memory and answer from it.
        if (fn == 50 || fn == 69)
          paper_fed_ = true;
        else if (fn != 112 && fn != 113)
          answers_->Feed(t.bytes.data(), t.bytes.size());
      } else if (FeedsPaper(t)) {
        paper_fed_ = true;
      }
      break;
  }
}

}  // namespace tillvane::server
