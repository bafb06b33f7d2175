// The language of the window: Chinese, as the program was first written, or English.
// Chosen once at start-up, before the window is built.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QCoreApplication;

namespace tillvane {

enum class Language { Chinese, English };

// The user's interface language from the environment: the locale is the first of
// LC_ALL, LC_MESSAGES, LANG that is set (not empty); under the C or POSIX locale, or
// with none set, Chinese. Otherwise the first of LANGUAGE (its first entry), LC_ALL,
// LC_MESSAGES, LANG that is set decides: English when it names English ("en",
// "en_GB.UTF-8", ...), Chinese for anything else.
using EnvironmentLookup = std::function<const char*(const char* name)>;
Language LanguageFromEnvironment(const EnvironmentLookup& lookup);
Language LanguageFromEnvironment();  // this process's environment

// The value of --lang: "en" or "zh" (any case); nothing for any other text.
std::optional<Language> ParseLanguage(const QString& text);

// Installs the translations of `language` into the application: the window's English
// catalogue for English, Qt's own Chinese catalogues (dialogs, standard buttons) for
// Chinese. False when a catalogue that should be there could not be loaded (the window
// then shows that catalogue's source texts). Call once, before the window is built.
bool InstallTranslations(QCoreApplication& app, Language language);

// The language installed last (Chinese before any).
Language CurrentLanguage();

}  // namespace tillvane
