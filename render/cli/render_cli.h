// tillvane-render: a saved stream of printer bytes to PNG.
//   tillvane-render [--paper 80|56] [--profile cn|intl] [--split] [--no-flash-store] [--strict]
//                   [-o OUT.png] INPUT
#pragma once

#include <cstdio>

namespace tillvane::render {

// Runs the command line; messages go to `err`, a PNG written to standard output goes
// to `out`. Returns the exit status: 0 done, 1 a file could not be read or written, 2
// bad arguments, 3 (with --strict, the pictures still written) the input had unknown
// bytes, commands not drawn or commands refused.
int RunRenderCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace tillvane::render
