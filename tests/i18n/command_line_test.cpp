// The options of `tillvane`, read as the program reads them, in both languages.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "config/version.h"

namespace tillvane {
namespace {

using Action = CommandLine::Action;
constexpr Language en = Language::English;
constexpr Language zh = Language::Chinese;

class CommandLineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "tillvane";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
  }
  void TearDown() override { InstallTranslations(*QCoreApplication::instance(), zh); }

  static CommandLine Read(QStringList args, bool removed = false, Language env = zh) {
    args.prepend(QStringLiteral("tillvane"));
    return ReadCommandLine(args, config, env, removed);
  }
  static inline ConfigChoice config{"/home/op/.config/tillvane/Tillvane.ini", {}, {}, 0};
};

TEST_F(CommandLineTest, VersionAndHelpEndTheProgram) {
  for (const char* option : {"--version", "-v"}) {
    const CommandLine line = Read({QString::fromLatin1(option)});
    EXPECT_EQ(line.action, Action::PrintVersion) << option;
    EXPECT_EQ(line.text, QStringLiteral("Tillvane " TILLVANE_VERSION "\n"));
  }
  EXPECT_EQ(Read({QStringLiteral("--help-all")}).action, Action::PrintHelp);
  const CommandLine help = Read({QStringLiteral("--help")});
  ASSERT_EQ(help.action, Action::PrintHelp);
  EXPECT_TRUE(help.text.contains(QStringLiteral("--lang <en|zh>"))) << help.text.toStdString();
  EXPECT_TRUE(help.text.contains(QStringLiteral("--version")));
  // The help names the configuration file that the window reads.
  EXPECT_TRUE(
      help.text.contains(QStringLiteral("配置文件：/home/op/.config/tillvane/Tillvane.ini")))
      << help.text.toStdString();
}

TEST_F(CommandLineTest, HelpInEnglishNamesTheFileAndItsProblem) {
  ASSERT_TRUE(InstallTranslations(*QCoreApplication::instance(), en));
  ConfigChoice broken{"/usr/lib/tillvane/Tillvane.ini", "/home/op/.config/tillvane/Tillvane.ini",
                      ConfigProblem::Folder, 0};
  const CommandLine help =
      ReadCommandLine({QStringLiteral("tillvane"), QStringLiteral("-h")}, broken, en, false);
  ASSERT_EQ(help.action, Action::PrintHelp);
  EXPECT_TRUE(
      help.text.contains(QStringLiteral("Configuration file: /usr/lib/tillvane/Tillvane.ini")))
      << help.text.toStdString();
  EXPECT_TRUE(help.text.contains(QStringLiteral(
      "The configuration file \"/home/op/.config/tillvane/Tillvane.ini\" cannot be read: it is a "
      "folder.")))
      << help.text.toStdString();
  EXPECT_FALSE(help.text.contains(QStringLiteral("界面语言"))) << help.text.toStdString();
}

TEST_F(CommandLineTest, LangChoosesOverTheEnvironment) {
  EXPECT_EQ(ChooseLanguage({QStringLiteral("tillvane")}, en), en);
  EXPECT_EQ(ChooseLanguage(
                {QStringLiteral("tillvane"), QStringLiteral("--lang"), QStringLiteral("zh")}, en),
            zh);
  EXPECT_EQ(ChooseLanguage({QStringLiteral("tillvane"), QStringLiteral("--lang=en")}, zh), en);
  // A wrong value leaves the environment's choice for the error's own language.
  EXPECT_EQ(ChooseLanguage({QStringLiteral("tillvane"), QStringLiteral("--lang=fr")}, en), en);

  const CommandLine run = Read({QStringLiteral("--lang"), QStringLiteral("en")});
  EXPECT_EQ(run.action, Action::Run);
  EXPECT_EQ(run.language, en);
  EXPECT_EQ(Read({}, false, en).language, en);
  EXPECT_EQ(Read({QStringLiteral("--lang=zh")}, false, en).language, zh);
}

TEST_F(CommandLineTest, MistakesAreNamedWithTheWayToHelp) {
  const CommandLine bad_lang = Read({QStringLiteral("--lang"), QStringLiteral("fr")});
  ASSERT_EQ(bad_lang.action, Action::Fail);
  EXPECT_EQ(
      bad_lang.text,
      QStringLiteral("tillvane: --lang 只能是 en 或 zh，不能是“fr”。\n用 --help 查看选项。\n"));
  EXPECT_EQ(Read({QStringLiteral("--lang")}).action, Action::Fail);
  const CommandLine extra = Read({QStringLiteral("Commands.dat")});
  ASSERT_EQ(extra.action, Action::Fail);
  EXPECT_TRUE(extra.text.contains(QStringLiteral("Commands.dat")));

  ASSERT_TRUE(InstallTranslations(*QCoreApplication::instance(), en));
  EXPECT_EQ(Read({QStringLiteral("--lang=de")}).text,
            QStringLiteral("tillvane: --lang takes en or zh, not \"de\".\nSee --help for the "
                           "options.\n"));
}

TEST_F(CommandLineTest, UnknownOptionsWaitForThePlatformToTakeItsOwn) {
  // Before the GUI platform starts, -platform and -display are unknown here.
  const QStringList gui = {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                           QStringLiteral("--lang"), QStringLiteral("en")};
  EXPECT_EQ(Read(gui).action, Action::AskAgain);
  // Once the platform has taken them out, the rest is read.
  const CommandLine after = Read({QStringLiteral("--lang"), QStringLiteral("en")}, true);
  EXPECT_EQ(after.action, Action::Run);
  EXPECT_EQ(after.language, en);
  // An option that is still unknown then is an error.
  const CommandLine unknown = Read({QStringLiteral("--colour")}, true);
  ASSERT_EQ(unknown.action, Action::Fail);
  EXPECT_TRUE(unknown.text.contains(QStringLiteral("colour"))) << unknown.text.toStdString();
}

}  // namespace
}  // namespace tillvane
