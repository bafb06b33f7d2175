#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include "app/config_texts.h"
#include "config/version.h"

namespace tillvane {
namespace {

struct Parser {
  QCommandLineParser parser;
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version = parser.addVersionOption();
  QCommandLineOption lang{QStringLiteral("lang"),
                          QCoreApplication::translate(
                              "CommandLine", "界面语言：en（英文）或 zh（中文）；默认按系统语言。"),
                          QStringLiteral("en|zh")};
  QCommandLineOption virtual_printer{
      QStringLiteral("virtual-printer"),
      QCoreApplication::translate("CommandLine",
                                  "打开虚拟打印机的预览窗口（不把它设为打印机连接）。")};

  Parser() {
    // -platform, -display and the other options of the GUI platform are one word
    // after one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(lang);
    parser.addOption(virtual_printer);
  }
};

}  // namespace

Language ChooseLanguage(const QStringList& arguments, Language from_environment) {
  Parser p;
  p.parser.parse(arguments);
  if (!p.parser.isSet(p.lang)) return from_environment;
  return ParseLanguage(p.parser.value(p.lang)).value_or(from_environment);
}

CommandLine ReadCommandLine(const QStringList& arguments, const ConfigChoice& config,
                            Language from_environment, bool platform_options_removed) {
  CommandLine result;
  result.language = from_environment;
  Parser p;
  QString description = QCoreApplication::translate("CommandLine", "收据打印机演示与测试工具。");
  description += QLatin1Char('\n') + ConfigHelpLine(config);
  const QString problem = ConfigProblemMessage(config);
  if (!problem.isEmpty()) description += QLatin1Char('\n') + problem;
  p.parser.setApplicationDescription(description);

  const QString program = arguments.isEmpty() ? QStringLiteral("tillvane") : arguments.first();
  auto fail = [&](const QString& why) {
    result.action = CommandLine::Action::Fail;
    result.text = program + QStringLiteral(": ") + why + QLatin1Char('\n') +
                  QCoreApplication::translate("CommandLine", "用 --help 查看选项。") +
                  QLatin1Char('\n');
    return result;
  };

  if (!p.parser.parse(arguments)) {
    if (!platform_options_removed && !p.parser.unknownOptionNames().isEmpty()) {
      result.action = CommandLine::Action::AskAgain;
      return result;
    }
    return fail(p.parser.errorText());
  }
  // --help-all as well: the platform's options are the platform's to describe.
  if (p.parser.isSet(p.help) || p.parser.isSet(QStringLiteral("help-all"))) {
    result.action = CommandLine::Action::PrintHelp;
    result.text = p.parser.helpText();
    return result;
  }
  if (p.parser.isSet(p.version)) {
    result.action = CommandLine::Action::PrintVersion;
    result.text = QStringLiteral("Tillvane " TILLVANE_VERSION "\n");
    return result;
  }
  if (p.parser.isSet(p.lang)) {
    const auto language = ParseLanguage(p.parser.value(p.lang));
    if (!language)
      return fail(QCoreApplication::translate("CommandLine", "--lang 只能是 en 或 zh，不能是“%1”。")
                      .arg(p.parser.value(p.lang)));
    result.language = *language;
  }
  result.open_virtual_printer = p.parser.isSet(p.virtual_printer);
  // (The values of the platform's options come only after an option unknown here.)
  if (!p.parser.positionalArguments().isEmpty()) {
    return fail(QCoreApplication::translate("CommandLine", "多余的参数：%1")
                    .arg(p.parser.positionalArguments().join(QLatin1Char(' '))));
  }
  return result;
}

}  // namespace tillvane
