// A job taken without drawing it (tillvane-printer --no-render): the bytes are cut into
// commands by protocol/'s tokenizer, which is far cheaper than drawing, and counted as
// the renderer's report counts them (unknown bytes, pages by the cuts and the paper fed
// after the last, the commands the renderer has no handler for as not drawn, and the
// commands refused for their form or size; refusals that depend on the printer's state,
// such as a logo never defined, and what a handler finds it cannot draw, need the
// drawing). The commands that answer (GS r, GS I, GS a, GS ( k with the settings and data
// its size answer depends on, and the NV graphics functions of GS ( L / GS 8 L, which
// keep the NV memory they answer from) go to a printer of their own, so that the answers
// are the bytes a drawing printer gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "protocol/tokenizer.h"
#include "render/printer.h"

namespace tillvane::server {

class JobCounter : private protocol::TokenSink {
 public:
  // `answers` runs the answering commands; its options are the job printer's.
  explicit JobCounter(render::PrinterOptions answers);
  ~JobCounter();

  void Feed(const uint8_t* bytes, size_t size);
  void Finish();
  void SetStatus(const render::PrinterStatus& status) { answers_->SetStatus(status); }
  size_t ReadReplies(uint8_t* out, size_t max);
  const render::Report& report() const { return report_; }

 private:
  void OnToken(const protocol::Token& token) override;

  protocol::Tokenizer tokenizer_;
  std::unique_ptr<render::Printer> answers_;
  render::Report report_;
  bool paper_fed_ = false;  // something printed or fed since the last cut
};

}  // namespace tillvane::server
