// Which language the window speaks, from the environment or --lang.
#include <QCoreApplication>
#include <QLibraryInfo>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "app/language.h"

namespace tillvane {
namespace {

Language From(const std::map<std::string, std::string>& env) {
  return LanguageFromEnvironment([&](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

constexpr Language en = Language::English;
constexpr Language zh = Language::Chinese;

TEST(LanguageFromEnvironment, EnglishOnlyWhenTheInterfaceLanguageIsEnglish) {
  EXPECT_EQ(From({{"LANG", "en_US.UTF-8"}}), en);
  EXPECT_EQ(From({{"LANG", "en_GB"}}), en);
  EXPECT_EQ(From({{"LANG", "en"}}), en);
  EXPECT_EQ(From({{"LANG", "zh_CN.UTF-8"}}), zh);
  EXPECT_EQ(From({{"LANG", "de_DE.UTF-8"}}), zh);
  // "en" must be the whole language part.
  EXPECT_EQ(From({{"LANG", "eng"}}), zh);
  EXPECT_EQ(From({{"LANG", "e"}}), zh);
}

TEST(LanguageFromEnvironment, TheFirstVariableThatIsSetDecides) {
  EXPECT_EQ(From({{"LC_ALL", "en_US.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}), en);
  EXPECT_EQ(From({{"LC_ALL", "zh_CN.UTF-8"}, {"LANG", "en_US.UTF-8"}}), zh);
  EXPECT_EQ(From({{"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "zh_CN.UTF-8"}}), en);
  EXPECT_EQ(From({{"LANGUAGE", "en_GB:zh_CN"}, {"LANG", "zh_CN.UTF-8"}}), en);
  EXPECT_EQ(From({{"LANGUAGE", "zh_CN:en"}, {"LANG", "en_US.UTF-8"}}), zh);
  // A variable set to nothing is not set.
  EXPECT_EQ(From({{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}), en);
}

TEST(LanguageFromEnvironment, TheCLocaleAndNoLocaleKeepChinese) {
  EXPECT_EQ(From({}), zh);
  EXPECT_EQ(From({{"LANG", "C"}}), zh);
  EXPECT_EQ(From({{"LANG", "C.UTF-8"}}), zh);
  EXPECT_EQ(From({{"LC_ALL", "POSIX"}}), zh);
  // Under the C locale LANGUAGE does not count, as for every program on the system.
  EXPECT_EQ(From({{"LANGUAGE", "en"}, {"LANG", "C.UTF-8"}}), zh);
  EXPECT_EQ(From({{"LANGUAGE", "en"}}), zh);
  EXPECT_EQ(From({{"LC_ALL", "C"}, {"LANG", "en_US.UTF-8"}}), zh);
}

TEST(ParseLanguage, OnlyEnAndZh) {
  EXPECT_EQ(ParseLanguage(QStringLiteral("en")), en);
  EXPECT_EQ(ParseLanguage(QStringLiteral("ZH")), zh);
  EXPECT_EQ(ParseLanguage(QStringLiteral(" en ")), en);
  EXPECT_FALSE(ParseLanguage(QStringLiteral("fr")).has_value());
  EXPECT_FALSE(ParseLanguage(QString()).has_value());
  EXPECT_FALSE(ParseLanguage(QStringLiteral("english")).has_value());
}

TEST(InstallTranslations, EachLanguageHasItsCatalogues) {
  int argc = 1;
  char name[] = "language_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  // The window's English catalogue is built into the program.
  ASSERT_TRUE(InstallTranslations(app, en));
  EXPECT_EQ(CurrentLanguage(), en);
  EXPECT_EQ(QCoreApplication::translate("ConfigFile", "无配置文件"),
            QStringLiteral("no configuration file"));
  // Qt's own Chinese catalogue for its dialogs and buttons (Debian's
  // qt6-translations-l10n): the file dialog's "Open" in Chinese.
  ASSERT_TRUE(InstallTranslations(app, zh));
  EXPECT_EQ(CurrentLanguage(), zh);
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("打开"));
}

}  // namespace
}  // namespace tillvane
