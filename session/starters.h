// What the window's click handlers call to start a background job, on the window's
// thread. Each starter takes the sender gate (session/sender_gate.h) first: while any
// sender is active it refuses at once and changes nothing, and the operator sees
// nothing. A started job keeps the gate until its end call.
//
// Before the window closes, its close handler calls StopJobsAndWait
// (session/job_thread.h) and only then closes the links.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "session/dispatcher.h"
#include "session/job_window.h"
#include "session/jobs.h"

namespace tillvane::jobs {

enum class StartResult {
  Started,     // the job runs
  Busy,        // another sender is active: nothing was done
  NotStarted,  // the job was discarded (see each starter); no document is left open
};

// sbtnStartClick: the repeated demo. Sets PrintToFile from the check box, reads the
// number of pieces from `pieces_text` (a decimal integer, blanks around it allowed;
// 0 or less prints nothing), starts the print-queue document and the job.
// NotStarted when the text is not a decimal integer (no document is started, nothing
// is shown) or the document cannot be started (the queue is closed).
StartResult StartRepeatedDemo(Dispatcher& dispatcher, bool print_to_file,
                              std::string_view pieces_text, int32_t cutter_mode);

// sbtnDownloadFileClick, before the file dialog: false while another sender is active
// (show no dialog then); otherwise turns PrintToFile off and returns true.
bool BeginCommandFileChoice();

// sbtnDownloadFileClick, after the dialog returned a name (`chosen_path`, relative
// names taken against the current folder): PrintToFile off, current folder =
// `program_folder`, CommandFileName = the full path, the print-queue document, the job.
// NotStarted for an empty name or a document that cannot be started.
StartResult StartCommandFileStream(Dispatcher& dispatcher, JobWindow& window,
                                   const std::string& chosen_path,
                                   const std::string& program_folder);

// sbtnApplyDownloadClick, after the index page is shown: PrintToFile off, the
// download choices, "下 载..." in red, the print-queue document (when it cannot be
// started: the queue is closed, PrintToFile = PrintToFileToRestore, NotStarted),
// InitializePrinter, the five index buttons disabled, the job.
StartResult StartLogoDownload(Dispatcher& dispatcher, JobWindow& window, const LogoChoices& choices,
                              const std::string& program_folder);

// Parses a piece count: optional blanks, an optional sign, decimal digits, optional
// blanks, within 32 bits. False for anything else.
bool ParsePieces(std::string_view text, int32_t* pieces);

}  // namespace tillvane::jobs
