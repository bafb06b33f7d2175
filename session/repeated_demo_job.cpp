#include <memory>

#include "base/message_sink.h"
#include "config/current_model.h"
#include "documents/ticket.h"
#include "documents/ticket56.h"
#include "link/link_state.h"
#include "session/jobs.h"
#include "session/sender_gate.h"
#include "session/starters.h"

namespace tillvane::jobs {

RepeatedDemoJob::RepeatedDemoJob(Dispatcher& dispatcher, int32_t pieces, int32_t cutter_mode)
    : SendingJob(dispatcher), pieces_(pieces), cutter_mode_(cutter_mode) {}

RepeatedDemoJob::~RepeatedDemoJob() = default;

void RepeatedDemoJob::Finish() {
  Synchronize([&] {
    EndJobDocument();
    ReleaseGate();
  });
}

void RepeatedDemoJob::Execute() {
  for (int32_t i = 0; i < pieces_ && !StopRequested(); ++i) {
    const int32_t result = PaperWidth() == kNarrowPaperWidth ? SampleTicket56(cutter_mode_)
                                                             : SampleTicket(cutter_mode_);
    if (result != 0) {
      // A receipt cut short because the window is closing ends the job silently.
      if (!StopRequested()) Synchronize([] { ShowMessage(kDataNotSentMessage); });
      break;
    }
  }
  Finish();
}

StartResult StartRepeatedDemo(Dispatcher& dispatcher, bool print_to_file,
                              std::string_view pieces_text, int32_t cutter_mode) {
  if (!TryBeginSending()) return StartResult::Busy;
  int32_t pieces = 0;
  if (!ParsePieces(pieces_text, &pieces)) {
    EndSending();
    return StartResult::NotStarted;
  }
  Links().PrintToFile = print_to_file;
  // From here the job holds the gate; dropping it unstarted releases the gate.
  auto job = std::make_unique<RepeatedDemoJob>(dispatcher, pieces, cutter_mode);
  if (!StartJobDocument()) return StartResult::NotStarted;
  JobThread::Start(std::move(job));
  return StartResult::Started;
}

}  // namespace tillvane::jobs
