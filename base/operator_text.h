// Marks a text of the core that the operator reads in the window: a message or a
// status text. The core keeps it as written, in Chinese; the window shows it in its own
// language, looking it up under `context` in its catalogue (lupdate collects the marked
// texts into translations/tillvane_en.ts). The context of every core text is "Operator".
#pragma once

#define OPERATOR_TEXT(context, text) text
