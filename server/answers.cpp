#include "server/answers.h"

#include <cstring>

namespace tillvane::server {
namespace {

constexpr uint8_t kDle = 0x10, kEot = 0x04, kGs = 0x1D;

}  // namespace

PrinterIdentity IdentityFor(int paper_dots, render::Profile profile) {
  PrinterIdentity id;
  if (paper_dots != render::kDots80mm) id.model = "TV-56";
  id.model += render::InfoOf(profile).model_suffix;
  return id;
}

RealtimeScanner::RealtimeScanner() : unit_(std::make_unique<render::Printer>()) {}
RealtimeScanner::~RealtimeScanner() = default;

void RealtimeScanner::Scan(const uint8_t* bytes, size_t size, const render::PrinterStatus& status,
                           std::vector<uint8_t>* answers) {
  for (size_t i = 0; i < size; ++i) {
    if (state_ == State::kIdle) {
      // Most of a job is no request: on to the next DLE at once.
      const void* dle = std::memchr(bytes + i, kDle, size - i);
      if (dle == nullptr) return;
      i = static_cast<size_t>(static_cast<const uint8_t*>(dle) - bytes);
      state_ = State::kDle;
      continue;
    }
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::kIdle:
        break;
      case State::kDle:
        state_ = b == kEot ? State::kDleEot : b == kDle ? State::kDle : State::kIdle;
        break;
      case State::kDleEot:
        if (b == 7) {
          state_ = State::kDleEot7;
          break;
        }
        state_ = State::kIdle;
        if (b >= 1 && b <= 4) {
          const uint8_t request[] = {kDle, kEot, b};
          unit_->SetStatus(status);
          unit_->Feed(request, sizeof request);
          uint8_t answer[8];
          const size_t n = unit_->ReadReplies(answer, sizeof answer);
          answers->insert(answers->end(), answer, answer + n);
        }
        break;
      case State::kDleEot7:
        state_ = State::kIdle;
        break;
    }
  }
}

std::array<uint8_t, 4> AutomaticStatus(const render::PrinterStatus& s) {
  return {static_cast<uint8_t>(0x10 | (s.offline ? 0x08 : 0) | (s.cover_open ? 0x20 : 0)),
          static_cast<uint8_t>(s.paper_out ? 0x20 : 0x00),
          static_cast<uint8_t>((s.paper_near_end ? 0x03 : 0) | (s.paper_out ? 0x0C : 0)), 0x00};
}

std::vector<uint8_t> CommandAnswer(const uint8_t* command, size_t size,
                                   const PrinterIdentity& identity,
                                   const render::PrinterStatus& status,
                                   const std::function<void(uint8_t)>& asb) {
  if (size != 3 || command[0] != kGs) return {};
  const uint8_t n = command[2];
  if (command[1] == 'a') {
    if (asb) asb(n);
    if (n == 0) return {};
    const auto s = AutomaticStatus(status);
    return {s.begin(), s.end()};
  }
  if (command[1] != 'I') return {};
  const std::string* text = nullptr;
  switch (n) {
    case 65:
      text = &identity.firmware;
      break;
    case 66:
      text = &identity.maker;
      break;
    case 67:
      text = &identity.model;
      break;
    case 68:
      text = &identity.serial;
      break;
    default:
      return {};
  }
  std::vector<uint8_t> out{0x5F};
  out.insert(out.end(), text->begin(), text->end());
  out.push_back(0x00);
  return out;
}

}  // namespace tillvane::server
