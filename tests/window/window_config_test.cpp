// The user's own Tillvane.ini and the program folder's, as the window reads them.
#include <QComboBox>
#include <QString>
#include <filesystem>

#include <gtest/gtest.h>

#include "config/current_model.h"
#include "config/models.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;

class WindowConfigTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    saved_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((dir_.path() / "config").string()));
  }
  void TearDown() override {
    WindowTest::TearDown();
    qputenv("XDG_CONFIG_HOME", saved_);
  }
  fs::path UserIni() const { return dir_.path() / "config/tillvane/Tillvane.ini"; }
  QString UserIniPath() const { return QString::fromStdString(UserIni().string()); }

  QByteArray saved_;
};

TEST_F(WindowConfigTest, TheUsersOwnCopyWinsAndTheTitleSaysSo) {
  fs::create_directories(UserIni().parent_path());
  WriteIni(UserIni().parent_path(),
           "[Common]\nNumber=2\nDefaultNumber=2\nApplicationName=Mine\n"
           "[Pos1]\nName=Home-80\nWidth=80\n[Pos2]\nName=Home-56\nWidth=56\n");
  TMainForm* f = nullptr;
  const auto boxes = WithMessageBoxes([&] { f = &Open(); });
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Mine V2.41 — ") + UserIniPath());
  ASSERT_EQ(f->cboPrinterModel->count(), 2);
  EXPECT_EQ(f->cboPrinterModel->currentText(), QStringLiteral("Home-56"));
  EXPECT_EQ(PaperWidth(), 56);
  // The program folder's file is still there, untouched, and not read.
  EXPECT_TRUE(fs::exists(dir_.path() / "Tillvane.ini"));
  EXPECT_EQ(f->ConfigFile().path, UserIni().string());
}

TEST_F(WindowConfigTest, AnUnreadableUserCopyIsNamedAndTheProgramFoldersRead) {
  // A folder where the file should be: there, but not readable as a file.
  fs::create_directories(UserIni());
  TMainForm* f = nullptr;
  const auto boxes = WithMessageBoxes([&] { f = &Open(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Tillvane"));
  EXPECT_EQ(boxes[0].buttons, 1);
  EXPECT_EQ(boxes[0].text, QStringLiteral("配置文件“") + UserIniPath() +
                               QStringLiteral("”无法读取：它是一个文件夹。\n改为读取“") +
                               IniPath() + QStringLiteral("”。"));
  // The program folder's models, and its name in the title.
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Shopfloor V2.41 — ") + IniPath());
  EXPECT_EQ(f->cboPrinterModel->itemText(0), QStringLiteral("TM-80"));
}

TEST_F(WindowConfigTest, ABrokenLinkWithNothingBehindItGivesTheDefaults) {
  fs::remove(dir_.path() / "Tillvane.ini");
  fs::create_directories(UserIni().parent_path());
  fs::create_symlink(dir_.path() / "gone.ini", UserIni());
  TMainForm* f = nullptr;
  const auto boxes = WithMessageBoxes([&] { f = &Open(); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("配置文件“") + UserIniPath() +
                               QStringLiteral("”无法读取：它是一个链接，指向的文件不存在。\n"
                                              "使用默认设置。"));
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Tillvane V2.41 — 无配置文件"));
  EXPECT_EQ(f->cboPrinterModel->currentText(), QString::fromLatin1(kBuiltInModelName));
}

}  // namespace
}  // namespace tillvane::testing
