// The options of `tillvane`: --help, --version, --lang and --virtual-printer. They are read before
// the window's platform starts, so --help and --version work without a display.
#pragma once

#include <QString>
#include <QStringList>

#include "app/language.h"
#include "config/config_location.h"

namespace tillvane {

struct CommandLine {
  enum class Action {
    Run,        // build the window
    PrintHelp,  // print `text` to standard output and end successfully
    PrintVersion,
    Fail,      // print `text` (the error) to standard error and end with status 1
    AskAgain,  // options the GUI platform takes (-platform, -display, ...) may be
               // among them: read again once the platform has removed its own
  };
  Action action = Action::Run;
  QString text;
  Language language = Language::Chinese;
  // --virtual-printer: the virtual printer's preview opens with the window.
  bool open_virtual_printer = false;
};

// The language for the texts of the command line and the window: --lang when it is
// given with "en" or "zh", otherwise `from_environment`. Reads nothing else, so that
// the catalogues can be installed before ReadCommandLine makes its texts.
Language ChooseLanguage(const QStringList& arguments, Language from_environment);

// Reads the arguments (the program's name first). Texts are in the language whose
// catalogue is installed; `config` is the Tillvane.ini the window will read, named in
// the help. With `platform_options_removed` false, an unknown option asks for a second
// reading instead of failing.
CommandLine ReadCommandLine(const QStringList& arguments, const ConfigChoice& config,
                            Language from_environment, bool platform_options_removed);

}  // namespace tillvane
