// What the background jobs change on the window: the status text Label20 and its
// colour, the progress bar ProgressBar1, and the enabled state of the index page's
// five buttons. Every call happens on the window's thread (the jobs make them inside
// synchronised calls); message boxes go through ShowMessage of base/message_sink.h.
#pragma once

#include <cstdint>
#include <string>

namespace tillvane::jobs {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kNavy{0, 0, 128};
inline constexpr Rgb kRed{255, 0, 0};

enum class IndexButton { PortOption, DownloadLogo, Demo, ClearError, Exit };

class JobWindow {
 public:
  virtual ~JobWindow() = default;
  // Label20: text (UTF-8) and font colour, set together.
  virtual void SetStatusText(const std::string& text, Rgb colour) = 0;
  // ProgressBar1 position, 0 to 100.
  virtual void SetProgress(int32_t position) = 0;
  // sbtnPortOption, sbtnDownloadLogo, sbtnDemo, sbtnClearError, sbtnExit.
  virtual void SetButtonEnabled(IndexButton button, bool enabled) = 0;
};

}  // namespace tillvane::jobs
