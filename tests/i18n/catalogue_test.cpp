// Every text the operator reads in the window has its English: lupdate is run over the
// window's and the core's sources as the build runs it, and each text it finds must
// have a finished translation in translations/tillvane_en.ts; and no Chinese text in
// those sources stands outside the translation system.
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const char* path) {
  QFile f(QString::fromUtf8(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList out;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (!line.trimmed().isEmpty()) out << QString::fromUtf8(line.trimmed());
  return out;
}

struct Entry {
  QString translation;
  bool finished = false;
};
// context + '\x1f' + source -> its translation
using Catalogue = QMap<QString, Entry>;

Catalogue ReadCatalogue(const QString& path, QString* error) {
  Catalogue out;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot open ") + path;
    return out;
  }
  QXmlStreamReader xml(&f);
  QString context, source;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto name = xml.name();
    if (name == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (name == QLatin1String("source")) {
      source = xml.readElementText();
    } else if (name == QLatin1String("translation")) {
      const QString type = xml.attributes().value(QLatin1String("type")).toString();
      Entry e;
      e.translation = xml.readElementText();
      e.finished = type.isEmpty() && !e.translation.isEmpty();
      out.insert(context + QChar(0x1f) + source, e);
    }
  }
  if (xml.hasError())
    *error = path + QStringLiteral(":%1: ").arg(xml.lineNumber()) + xml.errorString();
  return out;
}

QSet<QString> Placeholders(const QString& text) {
  QSet<QString> out;
  static const QRegularExpression re(QStringLiteral("%\\d+"));
  for (auto it = re.globalMatch(text); it.hasNext();) out.insert(it.next().captured());
  return out;
}

// Runs lupdate over the sources as the build does, into a catalogue of its own.
Catalogue TextsOfTheSources(QString* error) {
  static QTemporaryDir dir;
  const QString ts = dir.filePath(QStringLiteral("found.ts"));
  QFile::remove(ts);
  QStringList args = Lines(TILLVANE_LUPDATE_OPTIONS_FILE);
  args << Lines(TILLVANE_TRANSLATED_SOURCES_FILE) << QStringLiteral("-ts") << ts;
  QProcess lupdate;
  lupdate.start(QString::fromUtf8(TILLVANE_LUPDATE), args);
  if (!lupdate.waitForFinished(120000) || lupdate.exitCode() != 0) {
    *error = QStringLiteral("lupdate failed: ") + QString::fromUtf8(lupdate.readAllStandardError());
    return {};
  }
  return ReadCatalogue(ts, error);
}

TEST(Catalogue, EveryTextOfTheWindowHasItsEnglish) {
  QString error;
  const Catalogue found = TextsOfTheSources(&error);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const Catalogue english =
      ReadCatalogue(QStringLiteral(TILLVANE_SOURCE_DIR "/translations/tillvane_en.ts"), &error);
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  // The window's captions, the core's messages and the command line's texts at least.
  EXPECT_GT(found.size(), 80);

  for (auto it = found.begin(); it != found.end(); ++it) {
    const QStringList key = it.key().split(QChar(0x1f));
    const std::string where =
        (key[0] + QStringLiteral(": \"") + key[1] + QLatin1Char('"')).toStdString();
    const auto e = english.find(it.key());
    if (e == english.end() || !e->finished) {
      ADD_FAILURE() << "no English in translations/tillvane_en.ts for " << where
                    << " (cmake --build build --target update_translations, then translate it)";
      continue;
    }
    EXPECT_EQ(Placeholders(e->translation), Placeholders(key[1]))
        << "the English of " << where
        << " has other placeholders: " << e->translation.toStdString();
    // Only the words change: line breaks stay where they are.
    EXPECT_EQ(e->translation.count(QLatin1Char('\n')), key[1].count(QLatin1Char('\n'))) << where;
  }
}

// The string literals of C++ source text that hold anything but ASCII, each with its
// line and the name of the call whose parentheses hold it most closely ("" for none).
struct Literal {
  int line;
  std::string call;
  std::string text;
};

std::vector<Literal> NonAsciiLiterals(const std::string& src) {
  std::vector<Literal> out;
  std::vector<std::string> calls;  // the name before each open parenthesis
  std::string last_word;
  int line = 1;
  const size_t n = src.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = src[i];
    if (c == '\n') {
      ++line;
    } else if (c == '/' && i + 1 < n && src[i + 1] == '/') {
      while (i < n && src[i] != '\n') ++i;
      --i;
    } else if (c == '/' && i + 1 < n && src[i + 1] == '*') {
      for (i += 2; i + 1 < n && !(src[i] == '*' && src[i + 1] == '/'); ++i)
        if (src[i] == '\n') ++line;
      ++i;
    } else if (c == '"' || c == '\'') {
      const int start = line;
      std::string text;
      bool ascii = true;
      for (++i; i < n && src[i] != c; ++i) {
        if (src[i] == '\\' && i + 1 < n) text += src[i++];
        if (src[i] == '\n') ++line;
        if (static_cast<unsigned char>(src[i]) >= 0x80) ascii = false;
        text += src[i];
      }
      if (c == '"' && !ascii) out.push_back({start, calls.empty() ? "" : calls.back(), text});
    } else if (c == '(') {
      calls.push_back(last_word);
      last_word.clear();
    } else if (c == ')') {
      if (!calls.empty()) calls.pop_back();
      last_word.clear();
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      if (i > 0 && !(std::isalnum(static_cast<unsigned char>(src[i - 1])) || src[i - 1] == '_'))
        last_word.clear();
      last_word += c;
    } else if (c != ' ' && c != '\t') {
      if (c != ':') last_word.clear();
    }
  }
  return out;
}

bool Translated(const std::string& call) {
  return call == "tr" || call == "translate" || call == "QT_TR_NOOP" ||
         call == "QT_TRANSLATE_NOOP" || call == "OPERATOR_TEXT";
}

TEST(Catalogue, FindsTheCallThatHoldsEachText) {
  const auto found = NonAsciiLiterals(
      "a(QStringLiteral(\"端口\"));  // \"注释\"\n"
      "b(tr(\"确定\").arg(1), x);\n"
      "/* \"注释\" */ k = OPERATOR_TEXT(\"Operator\",\n  \"数据\\n\"\n  \"more\\\"\");\n"
      "QCoreApplication::translate(\"C\", \"帮助\"); c = 'x'; d = \"plain\";");
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].call, "QStringLiteral");
  EXPECT_EQ(found[0].line, 1);
  EXPECT_EQ(found[1].call, "tr");
  EXPECT_EQ(found[2].call, "OPERATOR_TEXT");
  EXPECT_EQ(found[2].line, 4);
  EXPECT_EQ(found[3].call, "translate");
  EXPECT_EQ(found[3].line, 6);
}

TEST(Catalogue, NoChineseTextStandsOutsideTheTranslationSystem) {
  const QStringList sources = Lines(TILLVANE_TRANSLATED_SOURCES_FILE);
  ASSERT_FALSE(sources.isEmpty());
  for (const QString& path : sources) {
    // The status report carries its own English beside each Chinese text.
    if (path.contains(QStringLiteral("/commands/printer_status."))) continue;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const std::string src = f.readAll().toStdString();
    for (const Literal& l : NonAsciiLiterals(src)) {
      EXPECT_TRUE(Translated(l.call))
          << path.toStdString() << ":" << l.line << ": \"" << l.text
          << "\" is not given to tr(), QCoreApplication::translate() or OPERATOR_TEXT()";
    }
  }
}

}  // namespace
