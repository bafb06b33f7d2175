// Printer: the parser (parser.cpp) reading through the protocol's tokenizer into the
// machine (machine.h), whose commands are found through the table in command_table.cpp.
#include "render/printer.h"

#include <utility>

#include "render/machine.h"
#include "render/parser.h"

namespace tillvane::render {

struct Printer::Impl {
  Impl(PrinterOptions options, PageSink sink)
      : machine(std::move(options), std::move(sink)), parser(machine) {}

  Machine machine;
  Parser parser;
};

Printer::Printer(PrinterOptions options, PageSink sink)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(sink))) {}
Printer::~Printer() = default;

void Printer::Feed(const uint8_t* bytes, size_t size) {
  if (bytes && size) impl_->parser.Feed(bytes, size);
}
void Printer::Finish() {
  impl_->parser.Finish();
}

size_t Printer::ReadReplies(uint8_t* out, size_t max) {
  std::deque<uint8_t>& replies = impl_->machine.replies;
  size_t n = 0;
  while (n < max && !replies.empty()) {
    out[n++] = replies.front();
    replies.pop_front();
  }
  return n;
}
size_t Printer::PendingReplies() const {
  return impl_->machine.replies.size();
}

void Printer::SetStatus(const PrinterStatus& status) {
  impl_->machine.status = status;
}
PrinterStatus Printer::status() const {
  return impl_->machine.status;
}
const Report& Printer::report() const {
  return impl_->machine.report;
}
const Bitmap& Printer::CurrentPage() const {
  return impl_->machine.roll;
}
void Printer::DiscardPaper() {
  impl_->machine.roll = Bitmap(impl_->machine.paper(), 0);
}
int Printer::paper_dots() const {
  return impl_->machine.paper();
}

void Printer::SetProfile(Profile profile) {
  Machine& m = impl_->machine;
  m.options.profile = profile;
  m.chinese = InfoOf(profile).double_byte;
  m.code_page = CodePageFor(0);
  m.char_set = CharacterSetFor(0);
}
Profile Printer::profile() const {
  return impl_->machine.options.profile;
}

std::vector<int> Printer::RamLogoNumbers() const {
  std::vector<int> out;
  for (const auto& [n, logo] : impl_->machine.ram_logos) out.push_back(n);
  return out;
}

}  // namespace tillvane::render
