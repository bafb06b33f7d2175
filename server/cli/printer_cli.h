// tillvane-printer: the virtual printer as a printer other programs print to.
//   tillvane-printer [--listen ADDR:PORT]... [--serial LINK] [--jobs DIR] [--paper 80|56]
//                    [--state paper-out|near-end|cover-open|offline]...
//                    [--idle-timeout S] [--max-job MB] [--keep N] [--no-render] [--json]
//                    [--exit-after N] [--strict] [--profile cn|intl]
#pragma once

#include <cstdio>

namespace tillvane::server {

// Runs the command line: one line per job to `out`, messages to `err`. Returns the exit
// status: 0 done, 1 a line or the jobs folder could not be opened, 2 bad arguments, 3
// with --strict when a job had unknown bytes or commands not drawn. SIGINT and SIGTERM end it
// cleanly.
int RunPrinterCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace tillvane::server
