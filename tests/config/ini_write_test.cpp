// One value changed in an initialisation file: every other line kept, the reader finds
// the new value, and the file is replaced whole.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "config/ini_write.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

TEST(IniWriteTest, OneValueChangesAndEveryOtherLineStays) {
  struct Case {
    const char* what;
    std::string before, after;
  };
  const Case cases[] = {
      {"empty file", "", "[Virtual]\nProfile=intl\n"},
      {"section added at the end", "[Common]\nNumber=1",
       "[Common]\nNumber=1\n\n[Virtual]\nProfile=intl\n"},
      {"key replaced, case of the names ignored",
       "[common]\n[VIRTUAL]\n ; note\n  profile = cn  \nOther=1\n",
       "[common]\n[VIRTUAL]\n ; note\nProfile=intl\nOther=1\n"},
      {"key added after the section's last line", "[Virtual]\nOther=1\n\n[Pos1]\nName=A\n",
       "[Virtual]\nOther=1\nProfile=intl\n\n[Pos1]\nName=A\n"},
      {"the first of two keys, the one the reader takes", "[Virtual]\nProfile=cn\nProfile=x\n",
       "[Virtual]\nProfile=intl\nProfile=x\n"},
      {"a key of another section stays", "[Pos1]\nProfile=cn\n",
       "[Pos1]\nProfile=cn\n\n[Virtual]\nProfile=intl\n"},
      {"CR LF line ends kept", "[Virtual]\r\nProfile=cn\r\nA=1\r\n",
       "[Virtual]\r\nProfile=intl\r\nA=1\r\n"},
      {"CR LF for a new section", "[A]\r\nB=1\r\n",
       "[A]\r\nB=1\r\n\r\n[Virtual]\r\nProfile=intl\r\n"},
      {"a last line without its end", "[Virtual]\nA=1", "[Virtual]\nA=1\nProfile=intl\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = WithIniValue(c.before, "Virtual", "Profile", "intl");
    EXPECT_EQ(out, c.after);
    EXPECT_EQ(IniFile::Parse(out).ReadString("Virtual", "Profile", ""), "intl");
    EXPECT_EQ(WithIniValue(out, "Virtual", "Profile", "intl"), out);  // once is enough
  }
}

TEST(IniWriteTest, WritesTheFileWholeAndSaysWhyItCannot) {
  testing::ScopedTempDir dir;
  const std::string path = (dir.path() / "sub" / "Tillvane.ini").string();
  std::string error;
  ASSERT_TRUE(WriteIniValue(path, "Virtual", "Profile", "intl", &error)) << error;
  ASSERT_TRUE(WriteIniValue(path, "Virtual", "Profile", "cn", &error)) << error;
  EXPECT_EQ(IniFile::Load(path).ReadString("Virtual", "Profile", ""), "cn");
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  // A folder where the file should be.
  std::filesystem::create_directories(dir.path() / "folder.ini");
  EXPECT_FALSE(WriteIniValue((dir.path() / "folder.ini").string(), "A", "B", "C", &error));
  EXPECT_NE(error.find("folder.ini"), std::string::npos);
}

}  // namespace
}  // namespace tillvane
