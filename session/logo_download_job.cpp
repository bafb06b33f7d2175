#include <filesystem>
#include <memory>

#include "commands/bitmap_logo.h"
#include "commands/posfun.h"
#include "commands/ram_logos.h"
#include "link/link_state.h"
#include "session/jobs.h"
#include "session/sender_gate.h"
#include "session/starters.h"

namespace tillvane::jobs {

LogoDownloadJob::LogoDownloadJob(Dispatcher& dispatcher, JobWindow& window,
                                 std::string program_folder, LogoChoices choices)
    : SendingJob(dispatcher),
      window_(window),
      program_folder_(std::move(program_folder)),
      choices_(choices) {}

LogoDownloadJob::~LogoDownloadJob() = default;

void LogoDownloadJob::Finish(bool success) {
  Synchronize([&] {
    window_.SetStatusText(success ? kDoneText : kFailedText, success ? kNavy : kRed);
    window_.SetButtonEnabled(IndexButton::Demo, success);
    window_.SetButtonEnabled(IndexButton::ClearError, success);
    window_.SetButtonEnabled(IndexButton::DownloadLogo, true);
    window_.SetButtonEnabled(IndexButton::PortOption, true);
    window_.SetButtonEnabled(IndexButton::Exit, true);
    EndJobDocument();
    Links().PrintToFile = PrintToFileToRestore().load();
    ReleaseGate();
  });
}

void LogoDownloadJob::Execute() {
  if (choices_.dragon && !StopRequested()) {
    const std::string path = FindFileNoCase(program_folder_, "Dragon.bmp");
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      if (DefineFlashLogos(1) != 0 || SendFlashLogoImage(path.c_str()) != 0) {
        Finish(false);
        return;
      }
    }
  }
  const struct {
    bool chosen;
    const char* file;
  } ram[] = {{choices_.horse, "Horse.bmp"}, {choices_.lion, "Lion.bmp"}, {choices_.map, "Map.bmp"}};
  for (int i = 0; i < 3; ++i) {
    if (!ram[i].chosen) continue;
    if (StopRequested()) {
      Finish(false);
      return;
    }
    const std::string path = FindFileNoCase(program_folder_, ram[i].file);
    if (DownloadRamLogo(path.c_str(), static_cast<uint8_t>(i + 1)) != 0) {
      RamLogoLoaded()[i] = false;
      Finish(false);
      return;
    }
    RamLogoLoaded()[i] = true;
  }
  Finish(true);
}

StartResult StartLogoDownload(Dispatcher& dispatcher, JobWindow& window, const LogoChoices& choices,
                              const std::string& program_folder) {
  if (!TryBeginSending()) return StartResult::Busy;
  Links().PrintToFile = false;
  SetDownloadChoices(choices);
  window.SetStatusText(kDownloadingText, kRed);
  if (!StartJobDocument()) {
    Links().PrintToFile = PrintToFileToRestore().load();
    EndSending();
    return StartResult::NotStarted;
  }
  (void)InitializePrinter();
  for (IndexButton b : {IndexButton::PortOption, IndexButton::DownloadLogo, IndexButton::Demo,
                        IndexButton::ClearError, IndexButton::Exit})
    window.SetButtonEnabled(b, false);
  JobThread::Start(
      std::make_unique<LogoDownloadJob>(dispatcher, window, program_folder, DownloadChoices()));
  return StartResult::Started;
}

}  // namespace tillvane::jobs
