// Opening and proving the link the operator chose: the port page's OK, without the
// window. Data in, result out; the window maps the result to its message, its page and
// its buttons.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "session/link_choice.h"
#include "session/link_kinds.h"

namespace tillvane {

enum class LinkOutcome {
  Opened,         // opened and proven: LinkKind names the link
  NothingChosen,  // no link kind chosen: nothing opened, LinkKind as it was
  OpenFailed,     // the link did not open: LinkKind is LinkKind::None or as it was (its row says)
  TestFailed,     // opened, but proving it failed: LinkKind is LinkKind::None
  Interrupted,    // an exception ended the opening: LinkKind is LinkKind::None, no message
};

struct [[nodiscard]] LinkResult {
  LinkOutcome outcome = LinkOutcome::NothingChosen;
  LinkKind kind = LinkKind::None;  // the kind that was chosen
  // The operator's message for a failure; null when there is none to show.
  const char* message = nullptr;
  // The system's reason for a failure, for the log and the message's details.
  std::string reason;
  // Opened on a link whose proof asks for the paper sensors (GS r 1): the byte the
  // printer answered; empty otherwise, and on every failure.
  std::optional<uint8_t> status_answer;
  // The model has no cutter choice: the demo page's cutter choices are withdrawn,
  // whatever the outcome.
  bool withdraw_cutter_choices = false;

  // The apply ran to its end: the index page's printing buttons follow LinkKind and
  // the index page is shown. Otherwise the port page stays, buttons as they were.
  bool Completed() const {
    return outcome == LinkOutcome::Opened || outcome == LinkOutcome::NothingChosen;
  }
};

// Closes an open print queue (on every apply, whatever is chosen) and, when a kind is
// chosen, the network printer's connection; then opens the chosen link, sets LinkKind
// and proves the link. Failures are logged with their
// reason; an exception on the way is caught, logged with its text, and ends the
// opening with no link open.
LinkResult OpenAndProve(const LinkChoice& choice);
// The same over a table of link kinds of the caller's.
LinkResult OpenAndProve(const LinkChoice& choice, std::span<const LinkKindRow> kinds);

}  // namespace tillvane
