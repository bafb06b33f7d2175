// SendData: the one way bytes reach the printer.
#pragma once

#include <cstdint>

#include "base/operator_text.h"

namespace tillvane {

// The message of a command file that cannot be opened or created again.
inline constexpr const char* kCommandFileError =
    OPERATOR_TEXT("Operator", "打开文件 \"Commands.dat\"出错！");

// Appends the bytes to "Commands.dat" while PrintToFile is on, then writes them to the
// link named by LinkKind. Returns 0 when the link took all `length` bytes, -1
// otherwise. With no link open the result is 0 when the bytes were appended to the
// command file and -1 when nothing took them.
int32_t SendData(const uint8_t* bytes, int32_t length);

// The link half of SendData alone: never copied into "Commands.dat", whatever
// PrintToFile says. For the printer's status requests, which belong to no job. With
// no link open the result is -1.
int32_t SendToLinkOnly(const uint8_t* bytes, int32_t length);

}  // namespace tillvane
