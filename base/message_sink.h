// What the core must show the operator goes through one sink: the window installs a
// message box, tests install a recorder. The sink may be called from a worker thread;
// the window's sink hands the text to its own thread and waits.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tillvane {

using MessageSink = std::function<void(std::string_view text)>;

// Installs the sink and returns the one it replaces. An empty sink drops messages.
MessageSink SetMessageSink(MessageSink sink);

// Shows a message (UTF-8, "\n" a line break) through the installed sink.
void ShowMessage(std::string_view text);

}  // namespace tillvane
