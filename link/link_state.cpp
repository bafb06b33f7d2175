#include "link/link_state.h"

#include <utility>

namespace tillvane {
namespace {

// Ends a link taken out of the state, outside the link lock.
void Finish(std::unique_ptr<Link> link) {
  if (link) link->Close();
}

}  // namespace

LinkState& Links() {
  static LinkState state;
  return state;
}

void ResetLinkState() {
  LinkState& s = Links();
  std::unique_ptr<Link> dropped;
  {
    std::lock_guard lock(s.mutex);
    s.Kind = LinkKind::None;
    s.PrintToFile = false;
    s.BusyTimeout = kBusyTimeoutNormal;
    dropped = std::move(s.link);
    s.ClosedBecause.clear();
  }
}

void SetLink(std::unique_ptr<Link> link) {
  LinkState& s = Links();
  std::unique_ptr<Link> closing;
  {
    std::lock_guard lock(s.mutex);
    closing = std::exchange(s.link, std::move(link));
    s.ClosedBecause.clear();
  }
  Finish(std::move(closing));
}

void CloseLinkOf(LinkKind kind) {
  LinkState& s = Links();
  std::unique_ptr<Link> closing;
  {
    std::lock_guard lock(s.mutex);
    if (s.link && s.link->kind() == kind) closing = std::move(s.link);
  }
  Finish(std::move(closing));
}

void CloseOpenLink() {
  LinkState& s = Links();
  std::unique_ptr<Link> closing;
  {
    std::lock_guard lock(s.mutex);
    closing = std::move(s.link);
    s.Kind = LinkKind::None;
  }
  Finish(std::move(closing));
}

LinkKind OpenLinkKind() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  return s.link ? s.link->kind() : LinkKind::None;
}

Link* CurrentLink(LinkState& s) {
  const LinkKind kind = s.Kind;
  if (kind == LinkKind::None || !s.link || s.link->kind() != kind) return nullptr;
  return s.link.get();
}

ReplyChannel* OpenReplyChannel(LinkState& s) {
  Link* link = CurrentLink(s);
  return link != nullptr ? link->Replies() : nullptr;
}

std::string LinkFailureReason() {
  LinkState& s = Links();
  std::lock_guard lock(s.mutex);
  if (Link* link = CurrentLink(s)) return link->FailureReason();
  std::string reason = AbsentLinkOf(s.Kind).reason;
  if (!s.ClosedBecause.empty()) reason += ": " + s.ClosedBecause;
  return reason;
}

bool StartJobDocument() {
  LinkState& s = Links();
  std::unique_ptr<Link> closing;
  bool started = true;
  {
    std::lock_guard lock(s.mutex);
    Link* link = CurrentLink(s);
    if (link != nullptr) {
      started = link->StartDocument();
      if (!started) s.ClosedBecause = link->FailureReason();
    } else {
      started = !AbsentLinkOf(s.Kind).refuses_documents;
    }
    if (!started && link != nullptr) closing = std::move(s.link);
  }
  Finish(std::move(closing));
  return started;
}

void EndJobDocument() {
  LinkState& s = Links();
  std::unique_ptr<Link> closing;
  {
    std::lock_guard lock(s.mutex);
    Link* link = CurrentLink(s);
    if (link != nullptr && !link->EndDocument()) {
      s.ClosedBecause = link->FailureReason();
      closing = std::move(s.link);
    }
  }
  Finish(std::move(closing));
}

}  // namespace tillvane
