#include "session/open_link.h"
#include "session/remedy.h"

#include <exception>

#include "base/log.h"
#include "link/network_link.h"
#include "session/link_kinds.h"

namespace tillvane {
namespace {

enum class Stage { Prepare, Open, Prove };

// LinkKind after a stage: the one rule of the opening's state changes.
LinkKind KindAfter(const LinkKindRow* row, Stage stage, bool ok, bool interrupted,
                   LinkKind before) {
  if (interrupted) return LinkKind::None;
  switch (stage) {
    case Stage::Prepare:
      return before;
    case Stage::Open:
      if (ok) return row->kind;
      return row->open_failure_clears_link ? LinkKind::None : before;
    case Stage::Prove:
      return ok ? row->kind : LinkKind::None;
  }
  return LinkKind::None;
}

LinkStep RunStage(Stage stage, const LinkKindRow* row, const LinkChoice& choice) {
  switch (stage) {
    case Stage::Prepare:
      CloseLinkOf(LinkKind::PrintQueue);
      // Another link chosen, or the same printer again: the old connection ends with its
      // closing handshake, so that its last bytes are printed.
      if (row != nullptr) CloseNetworkPrinter();
      return LinkStep::Done();
    case Stage::Open:
      return row->open(choice);
    case Stage::Prove:
      return row->prove();
  }
  return LinkStep::Done();
}

const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::Prepare:
      return "closing the print queue";
    case Stage::Open:
      return "opening";
    case Stage::Prove:
      return "communication test";
  }
  return "";
}

}  // namespace

LinkResult OpenAndProve(const LinkChoice& choice) {
  return OpenAndProve(choice, LinkKinds());
}

LinkResult OpenAndProve(const LinkChoice& choice, std::span<const LinkKindRow> kinds) {
  LinkResult result;
  result.kind = choice.kind;
  result.withdraw_cutter_choices = choice.model_name == kModelWithoutCutterChoice;
  const LinkKindRow* row = nullptr;
  for (const LinkKindRow& r : kinds) {
    if (r.kind == choice.kind) row = &r;
  }
  const char* name = row != nullptr ? row->name : "no link";

  for (Stage stage : {Stage::Prepare, Stage::Open, Stage::Prove}) {
    if (stage != Stage::Prepare && row == nullptr) break;
    LinkStep step;
    bool interrupted = false;
    try {
      step = RunStage(stage, row, choice);
    } catch (const std::exception& e) {
      step = LinkStep::Failed(std::string("exception: ") + e.what());
      interrupted = true;
    } catch (...) {
      step = LinkStep::Failed("exception of unknown type");
      interrupted = true;
    }
    // The one place where the opening sets LinkKind.
    Links().Kind = KindAfter(row, stage, step.ok, interrupted, Links().Kind.load());
    if (step.ok) {
      if (stage == Stage::Prove) result.status_answer = step.answer;
      continue;
    }

    result.reason = WithRemedy(std::move(step.reason));
    if (interrupted) {
      result.outcome = LinkOutcome::Interrupted;
    } else if (stage == Stage::Open) {
      result.outcome = LinkOutcome::OpenFailed;
      result.message = row->open_failed_message;
    } else {
      result.outcome = LinkOutcome::TestFailed;
      result.message = row->test_failed_message;
    }
    LogWarning(LogCategory::Link,
               std::string(name) + " link, " + StageName(stage) + " failed: " + result.reason);
    return result;
  }
  result.outcome = row != nullptr ? LinkOutcome::Opened : LinkOutcome::NothingChosen;
  if (row != nullptr) LogInfo(LogCategory::Link, std::string(name) + " link opened and proven");
  return result;
}

}  // namespace tillvane
