#include "app/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <cstdlib>
#include <cstring>

namespace tillvane {
namespace {

Language g_current = Language::Chinese;
std::vector<QPointer<QTranslator>> g_installed;

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

std::vector<std::unique_ptr<QTranslator>> LoadCatalogues(Language language, bool* complete) {
  std::vector<std::unique_ptr<QTranslator>> out;
  auto translator = std::make_unique<QTranslator>();
  bool loaded = false;
  if (language == Language::English) {
    loaded = translator->load(QStringLiteral(":/i18n/tillvane_en.qm"));
  } else {
    // Qt's own texts (the file dialog, OK and Cancel) from Debian's catalogues.
    loaded = translator->load(QStringLiteral("qtbase_zh_CN"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  }
  if (loaded) out.push_back(std::move(translator));
  if (complete != nullptr) *complete = loaded;
  return out;
}

bool InstallTranslations(QCoreApplication& app, Language language) {
  g_current = language;
  QLocale::setDefault(language == Language::English
                          ? QLocale(QLocale::English, QLocale::UnitedStates)
                          : QLocale(QLocale::Chinese, QLocale::China));
  // The catalogues of a language installed before give way.
  for (QPointer<QTranslator>& earlier : g_installed) {
    if (earlier) {
      QCoreApplication::removeTranslator(earlier);
      delete earlier;
    }
  }
  g_installed.clear();
  bool complete = false;
  for (auto& translator : LoadCatalogues(language, &complete)) {
    // The translators live as long as the application.
    QTranslator* t = translator.release();
    t->setParent(&app);
    QCoreApplication::installTranslator(t);
    g_installed.emplace_back(t);
  }
  return complete;
}

QString OperatorText(std::string_view text) {
  const QByteArray source(text.data(), static_cast<qsizetype>(text.size()));
  return QCoreApplication::translate("Operator", source.constData());
}

Language CurrentLanguage() {
  return g_current;
}

}  // namespace tillvane
