#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/log.h"
#include "config/current_model.h"
#include "config/models.h"
#include "tests/support/recording.h"

namespace tillvane {
namespace {

namespace fs = std::filesystem;

ModelConfig Load(const std::string& text) {
  return LoadModels(IniFile::Parse(text));
}

std::vector<std::string> Names(const ModelConfig& c) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < c.ModelCount; ++i) out.push_back(c.ModelTable[i].Name);
  return out;
}

class ModelsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetCurrentModel("", 80);
    SetPortMap(LoadPorts(IniFile()));
  }
};

TEST_F(ModelsTest, GapsInTheSectionsTakeNoPosition) {
  ModelConfig c = Load(
      "[Common]\nNumber=3\nDefaultNumber=2\n"
      "[Pos1]\nName=Vorn-101\nWidth=80\n"
      "[Pos3]\nName=Vorn-56N\nWidth=56\n");
  EXPECT_EQ(Names(c), (std::vector<std::string>{"Vorn-101", "Vorn-56N"}));
  EXPECT_EQ(c.SelectedIndex, 1);
  EXPECT_FALSE(c.BuiltInModel);
  EXPECT_EQ(CurrentModelName(), "Vorn-56N");
  EXPECT_EQ(PaperWidth(), 56);
}

TEST_F(ModelsTest, DefaultNameOrWidthLeavesASectionOut) {
  ModelConfig c = Load(
      "[Common]\nNumber=6\n"
      "[Pos1]\nName=1\nWidth=80\n"
      "[Pos2]\nName=Other\nWidth=1\n"
      "[Pos3]\nName=NoWidth\n"
      "[Pos4]\nWidth=80\n"
      "[Pos5]\nName= 1 \nWidth=0x01\n"
      "[Pos6]\nName=Kept\nWidth=0\n");
  EXPECT_EQ(Names(c), std::vector<std::string>{"Kept"});
  EXPECT_EQ(c.ModelTable[0].Width, 0);
  // "1" is compared exactly: other spellings are names.
  EXPECT_EQ(Names(Load("[Pos1]\nName=01\nWidth=80\n")), std::vector<std::string>{"01"});
  EXPECT_EQ(Names(Load("[Pos1]\nName=\nWidth=80\n")), std::vector<std::string>{""});
}

TEST_F(ModelsTest, OnlyFiftySixIsNarrow) {
  for (auto [width, want] : {std::pair{"58", 58}, {"56", 56}, {"0x38", 56}, {"$38", 56}}) {
    Load(std::string("[Pos1]\nName=M\nWidth=") + width + "\n");
    EXPECT_EQ(PaperWidth(), want) << width;
    EXPECT_EQ(PaperWidth() == kNarrowPaperWidth, want == 56) << width;
  }
}

TEST_F(ModelsTest, CaptionAndBaseDriverName) {
  ModelConfig absent = Load("[Common]\n");
  EXPECT_EQ(absent.Caption, "Tillvane V2.41");
  EXPECT_EQ(absent.BaseDriverName, "Vorn-102");
  ModelConfig empty = Load("[Common]\nApplicationName=\nBaseDriverName=\n");
  EXPECT_EQ(empty.Caption, " V2.41");
  EXPECT_EQ(empty.BaseDriverName, "");
  ModelConfig named = Load("[COMMON]\napplicationname=\"POS Demo\"\nbasedrivername=Vorn\n");
  EXPECT_EQ(named.Caption, "POS Demo V2.41");
  EXPECT_EQ(named.BaseDriverName, "Vorn");
}

TEST_F(ModelsTest, NoListedModelSelectsTheBuiltInOne) {
  testing::ScopedTempDir dir;
  for (const ModelConfig& c :
       {LoadModels((dir.path() / "absent.ini").string()), Load(""), Load("[Common]\nNumber=0\n"),
        Load("[Common]\nNumber=-5\n[Pos1]\nName=A\nWidth=80\n")}) {
    EXPECT_EQ(Names(c), std::vector<std::string>{"POS"});
    EXPECT_TRUE(c.BuiltInModel);
    EXPECT_EQ(c.SelectedIndex, 0);
    EXPECT_EQ(CurrentModelName(), "POS");
    EXPECT_EQ(PaperWidth(), 80);
    EXPECT_EQ(c.Caption, "Tillvane V2.41");
  }
}

// Reading the file is logged under tillvane.config: a file that cannot be read as a
// warning naming it, a file read with the count of its models.
TEST_F(ModelsTest, ReadingTheFileIsLoggedUnderConfig) {
  std::vector<std::string> lines;
  LogSink previous = SetLogSink([&lines](LogCategory category, LogLevel level,
                                         std::string_view text) {
    lines.push_back(std::string(LogCategoryName(category)) +
                    (level == LogLevel::Warning ? " warning: " : " info: ") + std::string(text));
  });
  testing::ScopedTempDir dir;
  const std::string absent = (dir.path() / "absent.ini").string();
  LoadModels(absent);
  const std::string shipped = std::string(TILLVANE_SOURCE_DIR) + "/data/Tillvane.ini";
  const ModelConfig c = LoadModels(shipped);
  SetLogSink(std::move(previous));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "config warning: " + absent + " could not be read; the built-in settings apply");
  EXPECT_EQ(lines[1], "config info: read " + shipped + ": " + std::to_string(c.ModelCount) +
                          " printer model(s)");
}

TEST_F(ModelsTest, DefaultNumberOutsideTheListSelectsTheFirst) {
  const std::string models = "[Pos1]\nName=A\nWidth=80\n[Pos2]\nName=B\nWidth=56\n";
  for (const char* n : {"0", "-1", "3", "2147483647", "junk", "0x80000000"}) {
    ModelConfig c = Load(std::string("[Common]\nNumber=2\nDefaultNumber=") + n + "\n" + models);
    EXPECT_EQ(c.SelectedIndex, 0) << n;
    EXPECT_EQ(CurrentModelName(), "A") << n;
  }
  Load("[Common]\nNumber=2\nDefaultNumber=2\n" + models);
  EXPECT_EQ(CurrentModelName(), "B");
}

TEST_F(ModelsTest, NumberAboveTwentyReadsTheFirstTwenty) {
  std::string text = "[Common]\nNumber=1000\nDefaultNumber=21\n";
  for (int i = 1; i <= 25; ++i) {
    text += "[Pos" + std::to_string(i) + "]\nName=M" + std::to_string(i) + "\nWidth=80\n";
  }
  ModelConfig c = Load(text);
  ASSERT_EQ(c.ModelCount, kModelTableSize);
  EXPECT_EQ(c.ModelTable[19].Name, "M20");
  EXPECT_EQ(c.SelectedIndex, 0);  // 21 is not a listed position
  // Section names have no leading zeros.
  EXPECT_EQ(Names(Load("[Common]\nNumber=2\n[Pos01]\nName=Z\nWidth=80\n"
                       "[Pos2]\nName=Y\nWidth=80\n")),
            std::vector<std::string>{"Y"});
}

TEST_F(ModelsTest, SelectModelChangesTheCurrentModelWithinTheList) {
  ModelConfig c = Load("[Common]\nNumber=2\n[Pos1]\nName=A\nWidth=80\n[Pos2]\nName=B\nWidth=56\n");
  EXPECT_TRUE(SelectModel(c, 1));
  EXPECT_EQ(CurrentModelName(), "B");
  EXPECT_EQ(PaperWidth(), 56);
  for (int32_t bad : {-1, 2, 20, 1000}) {
    EXPECT_FALSE(SelectModel(c, bad)) << bad;
    EXPECT_EQ(c.SelectedIndex, 1);
    EXPECT_EQ(CurrentModelName(), "B");
  }
}

TEST_F(ModelsTest, ShippedFileListsTheFamily) {
  ModelConfig c = LoadModels(std::string(TILLVANE_SOURCE_DIR) + "/data/Tillvane.ini");
  EXPECT_EQ(c.Caption, "Tillvane V2.41");
  EXPECT_EQ(c.BaseDriverName, "Vorn-102");
  ASSERT_GE(c.ModelCount, 3);
  EXPECT_EQ(c.ModelTable[0].Name, "Vorn-101");
  EXPECT_EQ(c.ModelTable[0].Width, 80);
  EXPECT_EQ(CurrentModelName(), "Vorn-101");
  bool narrow = false, fifty_eight = false;
  for (int32_t i = 0; i < c.ModelCount; ++i) {
    narrow |= c.ModelTable[i].Width == 56;
    fifty_eight |= c.ModelTable[i].Width == 58;
  }
  EXPECT_TRUE(narrow);
  EXPECT_TRUE(fifty_eight);
  EXPECT_EQ(c.Ports.com[0], "/dev/ttyS0");  // the Ports example is commented out
}

TEST_F(ModelsTest, PortsMapNamesToDevices) {
  ModelConfig c = Load(
      "[Ports]\nCOM1=/dev/pts/7\ncom3 = \"/dev/ttyUSB0\"\nLPT2=/dev/parport5\n"
      "COM4=\nCOM9=/dev/nine\n");
  EXPECT_EQ(PortDevicePath(c.Ports, "COM1"), "/dev/pts/7");
  EXPECT_EQ(PortDevicePath(c.Ports, "COM2"), "/dev/ttyS1");
  EXPECT_EQ(PortDevicePath(c.Ports, "COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath(c.Ports, "com3"), "/dev/ttyUSB0");
  EXPECT_EQ(PortDevicePath(c.Ports, "COM4"), "");  // present and empty: nothing to open
  EXPECT_EQ(PortDevicePath(c.Ports, "COM8"), "/dev/ttyS7");
  EXPECT_EQ(PortDevicePath(c.Ports, "LPT1"), "/dev/parport0");
  EXPECT_EQ(PortDevicePath(c.Ports, "LPT2"), "/dev/parport5");
  EXPECT_EQ(PortDevicePath(c.Ports, "LPT4"), "/dev/parport3");
  for (const char* bad : {"COM9", "COM0", "LPT5", "COM10", "COM", "", "USB1", "COM1 "}) {
    EXPECT_EQ(PortDevicePath(c.Ports, bad), "") << bad;
  }
  // LoadModels installs the map for the link opening.
  EXPECT_EQ(PortDevicePath("COM1"), "/dev/pts/7");
  Load("");
  EXPECT_EQ(PortDevicePath("COM1"), "/dev/ttyS0");
}

}  // namespace
}  // namespace tillvane

namespace tillvane {
namespace {

TEST(NetworkConfigTest, AddressAndDeadlinesWithTheirDefaultsAndBounds) {
  NetworkConfig none = LoadNetworkConfig(IniFile::Parse("[Common]\nNumber=1\n"));
  EXPECT_EQ(none.Address, "");
  EXPECT_EQ(none.ConnectTimeout, 5);
  EXPECT_EQ(none.WriteTimeout, 10);

  NetworkConfig set = LoadNetworkConfig(
      IniFile::Parse("[network]\naddress = \"[::1]:9101\"\nConnectTimeout=0x0A\nwritetimeout=3\n"));
  EXPECT_EQ(set.Address, "[::1]:9101");
  EXPECT_EQ(set.ConnectTimeout, 10);
  EXPECT_EQ(set.WriteTimeout, 3);

  // Nonsense keeps the default; zero or negative would mean no deadline at all.
  for (const char* bad : {"0", "-4", "five", "", "2.5"}) {
    NetworkConfig c = LoadNetworkConfig(IniFile::Parse(std::string("[Network]\nConnectTimeout=") +
                                                       bad + "\nWriteTimeout=" + bad + "\n"));
    EXPECT_EQ(c.ConnectTimeout, 5) << bad;
    EXPECT_EQ(c.WriteTimeout, 10) << bad;
  }
  EXPECT_EQ(LoadNetworkConfig(IniFile::Parse("[Network]\nWriteTimeout=999999\n")).WriteTimeout,
            3600);

  // LoadModels reads the section with the rest of the file.
  ModelConfig m = LoadModels(IniFile::Parse("[Network]\nAddress=printer.local\n"));
  EXPECT_EQ(m.Network.Address, "printer.local");
  SetCurrentModel("", 80);
  SetPortMap(LoadPorts(IniFile()));
}

}  // namespace
}  // namespace tillvane
