#include "app/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdlib>
#include <cstring>

namespace tillvane {
namespace {

Language g_current = Language::Chinese;

const char* SetValue(const EnvironmentLookup& lookup, const char* name) {
  const char* v = lookup(name);
  return (v != nullptr && v[0] != '\0') ? v : nullptr;
}

// "C", "POSIX", and their forms with a code set or modifier ("C.UTF-8").
bool IsCLocale(const char* value) {
  const size_t n = std::strcspn(value, ".@");
  return (n == 1 && value[0] == 'C') || (n == 5 && std::strncmp(value, "POSIX", 5) == 0);
}

// "en", "en_US", "en_GB.UTF-8", "en@quot": the language part is exactly "en".
bool NamesEnglish(const char* value, size_t length) {
  const size_t n = std::strcspn(value, "_.@:");
  return (n < length ? n : length) == 2 && value[0] == 'e' && value[1] == 'n';
}

}  // namespace

Language LanguageFromEnvironment(const EnvironmentLookup& lookup) {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if ((locale = SetValue(lookup, name)) != nullptr) break;
  }
  if (locale == nullptr || IsCLocale(locale)) return Language::Chinese;
  if (const char* list = SetValue(lookup, "LANGUAGE")) {
    // The first entry of a list such as "en_GB:en:zh_CN".
    return NamesEnglish(list, std::strcspn(list, ":")) ? Language::English : Language::Chinese;
  }
  return NamesEnglish(locale, std::strlen(locale)) ? Language::English : Language::Chinese;
}

Language LanguageFromEnvironment() {
  return LanguageFromEnvironment([](const char* name) { return std::getenv(name); });
}

std::optional<Language> ParseLanguage(const QString& text) {
  const QString t = text.trimmed().toLower();
  if (t == QLatin1String("en")) return Language::English;
  if (t == QLatin1String("zh")) return Language::Chinese;
  return std::nullopt;
}

bool InstallTranslations(QCoreApplication& app, Language language) {
  g_current = language;
  // The translators live as long as the application.
  if (language == Language::English) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto* own = new QTranslator(&app);
    const bool loaded = own->load(QStringLiteral(":/i18n/tillvane_en.qm"));
    if (loaded) QCoreApplication::installTranslator(own);
    return loaded;
  }
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  // Qt's own texts (the file dialog, OK and Cancel) from Debian's catalogues.
  auto* qt = new QTranslator(&app);
  const bool loaded =
      qt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (loaded) QCoreApplication::installTranslator(qt);
  return loaded;
}

Language CurrentLanguage() {
  return g_current;
}

}  // namespace tillvane
