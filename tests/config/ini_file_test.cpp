#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

namespace fs = std::filesystem;

TEST(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  IniFile ini = IniFile::Parse("[Common]\nApplicationName=Shop\n[POS1]\nname=A\n");
  EXPECT_EQ(ini.ReadString("common", "APPLICATIONNAME", "x"), "Shop");
  EXPECT_EQ(ini.ReadString("Pos1", "Name", "x"), "A");
  // Values keep their case.
  EXPECT_EQ(IniFile::Parse("[a]\nk=MiXeD\n").ReadString("A", "K", ""), "MiXeD");
}

TEST(IniFileTest, BlanksQuotesAndComments) {
  IniFile ini = IniFile::Parse(
      "; a comment\n"
      "  [ Common ]  \n"
      "  Spaced  =   value with inner blanks  \t\n"
      "Quoted=\"  kept inside  \"\n"
      "Single='x'\n"
      "Unbalanced=\"abc\n"
      "Twice=\"\"a\"\"\n"
      "   ;Commented=1\n"
      "Semi=a;b\n");
  EXPECT_EQ(ini.ReadString("Common", "Spaced", ""), "value with inner blanks");
  EXPECT_EQ(ini.ReadString("Common", "Quoted", ""), "  kept inside  ");
  EXPECT_EQ(ini.ReadString("Common", "Single", ""), "x");
  EXPECT_EQ(ini.ReadString("Common", "Unbalanced", ""), "\"abc");
  EXPECT_EQ(ini.ReadString("Common", "Twice", ""), "\"a\"");  // one pair only
  EXPECT_FALSE(ini.Find("Common", "Commented"));
  EXPECT_FALSE(ini.Find("Common", ";Commented"));
  EXPECT_EQ(ini.ReadString("Common", "Semi", ""), "a;b");  // not a comment mid-line
}

TEST(IniFileTest, AbsentGivesTheDefaultPresentEmptyGivesEmpty) {
  IniFile ini = IniFile::Parse("[s]\nEmpty=\nBlank=   \nQuotes=\"\"\n");
  EXPECT_EQ(ini.ReadString("s", "Empty", "def"), "");
  EXPECT_EQ(ini.ReadString("s", "Blank", "def"), "");
  EXPECT_EQ(ini.ReadString("s", "Quotes", "def"), "");
  EXPECT_EQ(ini.ReadString("s", "Missing", "def"), "def");
  EXPECT_EQ(ini.ReadString("other", "Empty", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("s", "Empty", 7), 7);
}

TEST(IniFileTest, LineEndsAndOddLines) {
  IniFile ini = IniFile::Parse("[s]\r\nA=1\r\nNoEquals\r\n=orphan\r\nB = two \r\nLast=end");
  EXPECT_EQ(ini.ReadString("s", "A", ""), "1");
  EXPECT_EQ(ini.ReadString("s", "B", ""), "two");
  EXPECT_EQ(ini.ReadString("s", "Last", ""), "end");  // no final newline
  EXPECT_FALSE(ini.Find("s", "NoEquals"));
  EXPECT_EQ(ini.ReadString("s", "", "d"), "d");
  // Keys before any section belong to none.
  EXPECT_FALSE(IniFile::Parse("A=1\n[s]\n").Find("s", "A"));
  // A section header without its bracket still opens the section.
  EXPECT_EQ(IniFile::Parse("[s\nA=1\n").ReadString("s", "A", ""), "1");
}

TEST(IniFileTest, FirstOccurrenceWins) {
  IniFile ini = IniFile::Parse("[s]\nA=first\na=second\n[t]\nX=1\n[S]\nA=third\nB=later\n");
  EXPECT_EQ(ini.ReadString("s", "A", ""), "first");
  EXPECT_EQ(ini.ReadString("s", "B", ""), "later");  // a repeated section adds keys
}

TEST(IniFileTest, ValuesAreCutAt2047Bytes) {
  const std::string long_value(5000, 'v');
  IniFile ini = IniFile::Parse("[s]\nA=" + long_value + "\nB=" + std::string(2047, 'w') + "\nC=\"" +
                               std::string(2047, 'q') + "\"\n");
  EXPECT_EQ(ini.ReadString("s", "A", ""), std::string(2047, 'v'));
  EXPECT_EQ(ini.ReadString("s", "B", "").size(), 2047u);
  EXPECT_EQ(ini.ReadString("s", "C", ""), std::string(2047, 'q'));
}

TEST(IniFileTest, GbkBytesAreKeptUndecoded) {
  // "打印机" in code page 936, and a trail byte that is an ASCII letter (0x81 0x40 ..).
  const std::string gbk = "\xB4\xF2\xD3\xA1\xBB\xFA\x81\x41";
  IniFile ini = IniFile::Parse("[Pos1]\nName=" + gbk + "\n");
  EXPECT_EQ(ini.ReadString("Pos1", "Name", ""), gbk);
  // NUL bytes and other control bytes stay too.
  EXPECT_EQ(IniFile::Parse(std::string("[s]\nA=a\0b\n", 10)).ReadString("s", "A", ""),
            std::string("a\0b", 3));
}

TEST(IniFileTest, IntegerRules) {
  struct Case {
    const char* text;
    int32_t want;
  };
  const int32_t d = -77;
  const Case cases[] = {
      {"56", 56},
      {"0x38", 56},
      {"0X38", 56},
      {"$38", 56},
      {"$1F", 31},
      {"$1f", 31},
      {"0x", d},
      {"0X", d},
      {"0x1", 1},
      {"00", 0},
      {"-12", -12},
      {"+12", 12},
      {"-$10", -16},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", d},
      {"-2147483649", d},
      {"99999999999999999999", d},
      {"0xFFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"0x100000000", d},
      {"12a", d},
      {"a12", d},
      {"1 2", d},
      {"1.5", d},
      {"", d},
      {"-", d},
      {"$", d},
      {"0xg", d},
      {"- 1", d},
      {"$-1", d},
      {"-0x10", d},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseIniInteger(c.text, d), c.want) << c.text;
  // Blanks around the value are gone before the conversion.
  EXPECT_EQ(IniFile::Parse("[s]\nW =  58 \n").ReadInteger("s", "w", 1), 58);
  EXPECT_EQ(IniFile::Parse("[s]\nW=\"0x38\"\n").ReadInteger("s", "w", 1), 56);
}

TEST(IniFileTest, LoadReadsFilesAndToleratesMissingOnes) {
  testing::ScopedTempDir dir;
  const fs::path p = dir.path() / "t.ini";
  testing::WriteFileBytes(p, {'[', 's', ']', '\n', 'A', '=', '5'});
  IniFile ini = IniFile::Load(p.string());
  EXPECT_TRUE(ini.loaded());
  EXPECT_EQ(ini.ReadInteger("s", "A", 0), 5);
  IniFile none = IniFile::Load((dir.path() / "absent.ini").string());
  EXPECT_FALSE(none.loaded());
  EXPECT_EQ(none.ReadString("s", "A", "d"), "d");
  EXPECT_FALSE(IniFile::Load(dir.path().string()).Find("s", "A"));  // a folder
}

}  // namespace
}  // namespace tillvane
