// The window with the virtual printer: the fifth row of the port page opens it and its
// preview; the preview shows what tillvane-render draws of the same bytes, saves it,
// clears it, and sets the printer's state that its answers follow; closing the window
// in the middle of a command-file stream ends everything cleanly.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "app/virtual_printer_window.h"
#include "commands/status_query.h"
#include "config/ini_file.h"
#include "link/link_state.h"
#include "link/virtual_link.h"
#include "render/cli/render_cli.h"
#include "render/png_file.h"
#include "session/job_thread.h"
#include "session/sender_gate.h"
#include "tests/render/render_support.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using render::Bitmap;

class VirtualWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    // The flash logos go to a store of this test's own.
    ::setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    ForgetVirtualPrinter();
    WriteIni(dir_.path(), GoldenIni(false, (dir_.path() / "no-com1").string()));
  }
  void TearDown() override {
    WindowTest::TearDown();
    ForgetVirtualPrinter();
    ::unsetenv("XDG_DATA_HOME");
  }

  // Chooses the fifth row and applies it as the operator does; no message may show.
  VirtualPrinterWindow* ApplyVirtual() {
    Click(form_->sbtnPortOption);
    Click(form_->rbtnVirtual);
    const auto boxes = WithMessageBoxes([&] { Click(form_->sbtnApply); });
    EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
    EXPECT_EQ(form_->PageControl1->currentWidget(), form_->tbsMain);
    EXPECT_EQ(Links().Kind.load(), LinkKind::Virtual);
    return form_->VirtualPreview();
  }

  // Waits until the printer has printed everything and the preview has copied it.
  static void WaitForPreview(VirtualPrinterWindow* preview) {
    ASSERT_TRUE(WaitVirtualPrinterIdle(20000));
    auto printer = VirtualPrinterOfLink();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const auto shot = printer->Take();
          int rows = shot.current.height();
          for (const auto& p : shot.pages) rows += p->dots.height();
          return preview->PaperRows() == rows;
        },
        10000));
  }

  // What tillvane-render makes of `bytes`, read back from its PNG.
  Bitmap RenderCommand(const Bytes& bytes) {
    const fs::path in = dir_.path() / "stream.dat", out = dir_.path() / "stream.png";
    WriteFileBytes(in, bytes);
    const std::string in_name = in.string(), out_name = out.string();
    const char* argv[] = {"tillvane-render", "--no-flash-store", "-o", out_name.c_str(),
                          in_name.c_str()};
    std::FILE* null = std::fopen("/dev/null", "w");
    EXPECT_EQ(render::RunRenderCommand(5, argv, null, null), 0);
    std::fclose(null);
    std::string why;
    auto png = render::ReadPng(out, &why);
    EXPECT_TRUE(png.has_value()) << why;
    return png.value_or(Bitmap());
  }
};

TEST_F(VirtualWindowTest, TheAccountStatementOnThePreviewIsWhatTillvaneRenderDrawsOfIt) {
  TMainForm& f = Open();
  f.show();
  EXPECT_EQ(f.VirtualPreview(), nullptr);
  VirtualPrinterWindow* preview = ApplyVirtual();
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  EXPECT_EQ(preview->windowTitle(), QStringLiteral("Tillvane 虚拟打印机"));
  // To the right of the window, as far as the screen lets it.
  EXPECT_GT(preview->frameGeometry().left(), f.frameGeometry().left());
  EXPECT_TRUE(f.screen()->availableGeometry().contains(preview->frameGeometry().topLeft()));
  for (QPushButton* b : {f.sbtnDownloadLogo, f.sbtnDemo, f.sbtnClearError, f.sbtnExit})
    EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

  // The line feed that proved the link is on the paper; clearing lets it go.
  WaitForPreview(preview);
  EXPECT_GT(preview->PaperRows(), 0);
  Click(preview->sbtnClearPaper);
  EXPECT_EQ(preview->PaperRows(), 0);
  EXPECT_EQ(VirtualPrinterOfLink()->Take().current.height(), 0);

  Click(f.sbtnDemo);
  Click(f.sbtnAccount);
  WaitForPreview(preview);
  const Bytes account = Golden("AccountTicket");
  const Bitmap shown = preview->Paper();
  const Bitmap expected = RenderCommand(account);
  EXPECT_GT(render::testing::CountDots(shown), 1000);
  EXPECT_TRUE(shown == expected) << shown.width() << "x" << shown.height() << " against "
                                 << expected.width() << "x" << expected.height();
  // GS r 1 and the line feed, then the statement: one page, cut.
  EXPECT_EQ(preview->StatusLine->text(),
            QStringLiteral("页数: 1    已接收: %1 字节    未知字节: 0    未绘制: 0")
                .arg(account.size() + 4));
  QScrollBar* bar = preview->ScrollArea->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  // Twice the zoom, twice the paper, still at the newest line.
  const int height = preview->ScrollArea->widget()->height();
  preview->cboZoom->setCurrentIndex(preview->cboZoom->findData(200));
  EXPECT_EQ(preview->ScrollArea->widget()->height(), 2 * height);
  EXPECT_EQ(bar->value(), bar->maximum());

  // "保存图片" through its dialog: the PNG holds the paper dot for dot.
  const fs::path saved = dir_.path() / "saved" / "paper.png";
  fs::create_directories(saved.parent_path());
  auto boxes = WithMessageBoxes([&] { ClickChoosingFile(preview->sbtnSavePicture, saved); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  std::string why;
  const auto png = render::ReadPng(saved, &why);
  ASSERT_TRUE(png.has_value()) << why;
  EXPECT_TRUE(*png == expected);

  // A folder that does not exist: the file is not written, and the operator hears why.
  QString error;
  EXPECT_FALSE(preview->SavePicture(QString::fromStdString((dir_.path() / "no" / "x.png").string()),
                                    &error));
  EXPECT_TRUE(error.contains(QStringLiteral("No such file"))) << error.toStdString();
  Click(preview->sbtnClearPaper);
  EXPECT_FALSE(preview->SavePicture(QString::fromStdString(saved.string()), &error));

  // Closing the window closes the preview and the link.
  f.close();
  EXPECT_FALSE(preview->isVisible());
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_FALSE(LinkCanAnswer());
}

TEST_F(VirtualWindowTest, TheStateBoxesSetWhatThePrinterAnswers) {
  TMainForm& f = Open();
  f.show();
  VirtualPrinterWindow* preview = ApplyVirtual();
  ASSERT_NE(preview, nullptr);

  std::optional<uint8_t> answer;
  ASSERT_EQ(TestCommunication(&answer), 0);
  EXPECT_EQ(answer, std::optional<uint8_t>(0x00));

  Click(preview->chkPaperOut);
  Click(preview->chkCoverOpen);
  ASSERT_EQ(TestCommunication(&answer), 0);
  EXPECT_EQ(answer, std::optional<uint8_t>(0x0C));  // GS r 1: paper out
  StatusAnswers status;
  ASSERT_TRUE(QueryPrinterStatus(&status));
  EXPECT_EQ(status[0], std::optional<uint8_t>(0x12));
  EXPECT_EQ(status[1], std::optional<uint8_t>(0x12 | 0x04 | 0x20));  // cover open, paper out
  Click(preview->chkOffline);
  ASSERT_TRUE(QueryPrinterStatus(&status));
  EXPECT_EQ(status[0], std::optional<uint8_t>(0x12 | 0x08));

  // The communication test takes any answer: applying again passes, and a printer of
  // the other paper width starts in the state the boxes show.
  PickModel(1);
  ApplyVirtual();
  EXPECT_EQ(VirtualPrinterOfLink()->Take().current.width(), render::kDotsNarrow);
  const render::PrinterStatus state = VirtualPrinterOfLink()->status();
  EXPECT_TRUE(state.paper_out && state.cover_open && state.offline);
  EXPECT_FALSE(state.paper_near_end);

  for (QCheckBox* b : {preview->chkPaperOut, preview->chkCoverOpen, preview->chkOffline}) Click(b);
  Click(preview->chkPaperNearEnd);
  ASSERT_EQ(TestCommunication(&answer), 0);
  EXPECT_EQ(answer, std::optional<uint8_t>(0x03));
  ASSERT_TRUE(QueryPrinterStatus(&status));
  EXPECT_EQ(status[3], std::optional<uint8_t>(0x12 | 0x0C));
}

TEST_F(VirtualWindowTest, TheProfileComesFromTheIniAndTheComboKeepsTheOperatorsChoice) {
  const fs::path user = dir_.path() / "config";
  struct Restore {
    QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    ~Restore() { qputenv("XDG_CONFIG_HOME", saved); }
  } restore;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(user.string()));
  WriteIni(dir_.path(),
           GoldenIni(false, (dir_.path() / "no-com1").string()) + "[Virtual]\nProfile=intl\n");
  Open().show();
  VirtualPrinterWindow* preview = ApplyVirtual();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(VirtualPrinterOfLink()->profile(), render::Profile::kIntl);
  EXPECT_EQ(preview->cboProfile->currentData().toInt(), static_cast<int>(render::Profile::kIntl));

  // The operator chooses cn: the printer takes it, and the user's own copy of the file
  // keeps it beside everything the program folder's said.
  const int cn = preview->cboProfile->findData(static_cast<int>(render::Profile::kCn));
  ASSERT_GE(cn, 0);
  preview->cboProfile->setCurrentIndex(cn);
  emit preview->cboProfile->activated(cn);
  EXPECT_EQ(VirtualPrinterOfLink()->profile(), render::Profile::kCn);
  const IniFile kept = IniFile::Load((user / "tillvane" / "Tillvane.ini").string());
  EXPECT_EQ(kept.ReadString("Virtual", "Profile", ""), "cn");
  EXPECT_EQ(kept.ReadInteger("Pos2", "Width", 0), 56);

  // A name the printer does not know: cn, and the window still opens.
  WriteIni(user / "tillvane", GoldenIni(false, "") + "[Virtual]\nProfile=klingon\n");
  SetVirtualProfile(render::Profile::kIntl);
  form_.reset();
  Open();
  EXPECT_EQ(VirtualProfile(), render::Profile::kCn);
}

TEST_F(VirtualWindowTest, ClosingDuringACommandFileStreamEndsItAndTheLinkCleanly) {
  TMainForm& f = Open();
  f.show();
  VirtualPrinterWindow* preview = ApplyVirtual();
  ASSERT_NE(preview, nullptr);
  // Lines of text, far more than the stream sends before the window closes.
  Bytes content;
  while (content.size() < 8u * 1024 * 1024) {
    for (char c : std::string("0123456789 ABCDEFGHIJ abcdefghij\n")) content.push_back(c);
  }
  const fs::path file = dir_.path() / "long.dat";
  WriteFileBytes(file, content);

  Click(f.sbtnDemo);
  ClickChoosingFile(f.sbtnDownloadFile, file);
  ASSERT_EQ(jobs::RunningJobs(), 1);

  // The window keeps painting while the printer prints: the preview grows.
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->PaperRows() > 200; }, 20000));
  const int rows = preview->PaperRows();
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->PaperRows() > rows; }, 20000));
  ASSERT_EQ(jobs::RunningJobs(), 1);

  auto boxes = WithMessageBoxes([&] { f.close(); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(jobs::RunningJobs(), 0);
  EXPECT_FALSE(SendingInProgress());
  EXPECT_EQ(Links().Kind.load(), LinkKind::None);
  EXPECT_FALSE(preview->isVisible());
  // The link is gone: nothing waits to be printed, nothing answers.
  EXPECT_TRUE(WaitVirtualPrinterIdle(0));
  EXPECT_EQ(ReadVirtualAnswers(nullptr, 0), 0);
  EXPECT_LT(VirtualPrinterOfLink()->Take().report.bytes, content.size());
}

}  // namespace
}  // namespace tillvane::testing
