// The [Virtual] keys of the user's Tillvane.ini: a key set without disturbing the rest
// of the file, the section read back as written, bad values refused by name.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "config/ini_file.h"
#include "config/virtual_config.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

using namespace testing;

TEST(VirtualConfigTest, OneKeyIsSetAndEveryOtherLineStays) {
  const struct {
    const char *before, *after;
  } cases[] = {
      {"", "[Virtual]\nListen=h:9\n"},
      {"[Common]\nN=2", "[Common]\nN=2\n\n[Virtual]\nListen=h:9\n"},
      {"[virtual]\n LISTEN = old:1 \nSerial=x\n", "[virtual]\nListen=h:9\nSerial=x\n"},
      // After the section's last key; a comment or another section's key is no key.
      {"[Virtual]\nA=x\n\n;Listen=c:1\n[Ports]\nListen=p:1\n",
       "[Virtual]\nA=x\nListen=h:9\n\n;Listen=c:1\n[Ports]\nListen=p:1\n"},
      // Only the first occurrence of the section, whose key the reader takes.
      {"[Virtual]\nA=1\n[X]\n[Virtual]\nListen=b:2\n",
       "[Virtual]\nA=1\nListen=h:9\n[X]\n[Virtual]\nListen=b:2\n"},
      {"[Virtual]\r\nListen=old:1\r\nA=1\r\n", "[Virtual]\r\nListen=h:9\r\nA=1\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WithIniValue(c.before, "Virtual", "Listen", "h:9"), c.after);
}

TEST(VirtualConfigTest, SavedSettingsReadBackAndBadOnesAreRefused) {
  ScopedTempDir dir;
  const auto seed = dir.path() / "Tillvane.ini";
  WriteFileBytes(seed, Bytes{'[', 'C', ']', '\n', 'N', '=', '2', '\n'});
  const std::string user = (dir.path() / "user" / "tillvane" / "Tillvane.ini").string();
  const struct {
    VirtualConfig config;
    const char* refused;  // empty: saved
  } cases[] = {
      {{true, "127.0.0.1:9100", "", ""}, ""},
      {{false, "[::1]:0", "~/.local/share/tillvane/ttyV0", ""}, ""},
      {{true, "127.0.0.1", "", ""}, "Listen=127.0.0.1 is not ADDRESS:PORT"},
      {{true, ":9100", "", ""}, "is not ADDRESS:PORT"},
      {{true, "host:65536", "", ""}, "is not ADDRESS:PORT"},
      {{true, "host:1a", "", ""}, "is not ADDRESS:PORT"},
      {{true, "a:1\nAccept=0", "", ""}, "Listen holds a control character"},
      {{true, "a:1", "/tmp/x\r", ""}, "Serial holds a control character"},
  };
  VirtualConfig last;
  for (const auto& c : cases) {
    std::string error;
    const bool saved = SaveVirtualConfig(user, seed.string(), c.config, &error);
    EXPECT_EQ(saved, c.refused[0] == '\0') << c.config.Listen;
    if (!saved) {
      EXPECT_EQ(error.find(user + ": "), 0u) << error;
    }
    EXPECT_NE(error.find(c.refused), std::string::npos) << error;
    if (saved) last = c.config;
    // What is in the file is the last that was saved, the seed's models with it.
    const IniFile ini = IniFile::Load(user);
    const VirtualConfig back = LoadVirtualConfig(ini);
    EXPECT_EQ(back.Accept, last.Accept);
    EXPECT_EQ(back.Listen, last.Listen);
    EXPECT_EQ(back.Serial, last.Serial);
    EXPECT_EQ(ini.ReadString("C", "N", ""), "2");
  }
  // Absent keys: off, the default address, no serial link; Accept is on only for 1.
  const VirtualConfig none = LoadVirtualConfig(IniFile::Parse("[Virtual]\nAccept=yes\nListen=\n"));
  EXPECT_FALSE(none.Accept);
  EXPECT_EQ(none.Listen, kDefaultVirtualListen);
  EXPECT_EQ(none.Serial, "");
}

}  // namespace
}  // namespace tillvane
