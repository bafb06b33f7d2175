// The preview takes print jobs from other programs: a real socket on the loopback sends
// jobs written here; they come out on the paper under a marked line and into the job
// list, the state boxes reach their automatic status back, a start that cannot bind says
// why, closing the window mid-job ends the server cleanly, and --virtual-printer opens
// the preview without making it the link.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/virtual_printer_window.h"
#include "config/ini_file.h"
#include "link/link_state.h"
#include "link/virtual_link.h"
#include "render/printer.h"
#include "server/answers.h"
#include "server/listener.h"
#include "session/window_session.h"
#include "tests/server/server_harness.h"
#include "tests/window/window_fixture.h"

namespace tillvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Text lines, an unknown command (ESC 0xFE) and a full cut, as a shop's program sends.
Bytes Receipt(const std::string& name, int lines) {
  Bytes b = {0x1B, '@'};
  for (int i = 0; i < lines; ++i)
    for (char c : name + " line " + std::to_string(i) + "\n") b.push_back(static_cast<uint8_t>(c));
  b.insert(b.end(), {0x1B, 0xFE, 0x1D, 'V', 0x00});
  return b;
}

render::Report ReportOf(const Bytes& bytes) {
  render::Printer printer({}, [](render::Page&&) {});
  printer.Feed(bytes.data(), bytes.size());
  printer.Finish();
  return printer.report();
}

// The dots of paper rows [from, from + rows), and the separate dashes among them.
std::pair<int, int> DotsAndDashes(const render::Bitmap& paper, int from, int rows) {
  int dots = 0, dashes = 0;
  for (int y = from; y < from + rows; ++y)
    for (int x = 0; x < paper.width(); ++x) {
      dots += paper.Get(x, y);
      dashes += paper.Get(x, y) && !paper.Get(x - 1, y);
    }
  return {dots, dashes};
}

uint16_t PortOf(const QString& address) {
  return static_cast<uint16_t>(address.section(QLatin1Char(':'), -1).toUInt());
}

class AcceptWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ::setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    ForgetVirtualPrinter();
  }
  void TearDown() override {
    WindowTest::TearDown();
    ForgetVirtualPrinter();
    ::setenv("XDG_CONFIG_HOME", "/nonexistent/tillvane-window-test/config", 1);
    ::unsetenv("XDG_DATA_HOME");
  }
  fs::path UserIni() const { return dir_.path() / "config" / "tillvane" / "Tillvane.ini"; }

  // The preview from its index-page button, accepting on a free loopback port.
  VirtualPrinterWindow* AcceptingPreview(TMainForm& f, const fs::path& serial = {}) {
    Click(f.sbtnVirtualPrinter);
    VirtualPrinterWindow* preview = f.VirtualPreview();
    EXPECT_NE(preview, nullptr);
    if (preview == nullptr) return nullptr;
    preview->edListen->setText(QStringLiteral("127.0.0.1:0"));
    preview->edSerial->setText(QString::fromStdString(serial.string()));
    Click(preview->chkAcceptJobs);
    EXPECT_TRUE(preview->Accepting()) << preview->StatusLine->text().toStdString();
    return preview;
  }

  static void WaitJobs(VirtualPrinterWindow* preview, int count) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return preview->JobList->rowCount() >= count; }, 20000));
  }
};

TEST_F(AcceptWindowTest, JobsFromAnotherProgramComeOutOnThePaperAndInTheList) {
  TMainForm& f = Open();
  f.show();
  const fs::path link = dir_.path() / "ttyV0";
  VirtualPrinterWindow* preview = AcceptingPreview(f, link);
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(LinkKindInForce(), LinkKind::None);
  const uint16_t port = PortOf(preview->ListeningOn());
  ASSERT_NE(port, 0);
  EXPECT_TRUE(preview->StatusLine->text().contains(QStringLiteral("正在接收打印任务：127.0.0.1:")))
      << preview->StatusLine->text().toStdString();
  EXPECT_FALSE(preview->edListen->isEnabled());

  const Bytes first = Receipt("first", 40);
  PrintJob(port, first);
  WaitJobs(preview, 1);

  // The second client asks for automatic status back: the state boxes reach it.
  const int fd = Connect(port);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendAll(fd, {0x1D, 'a', 0xFF}));
  EXPECT_EQ(ReadSome(fd, 4, 5s), (Bytes{0x10, 0x00, 0x00, 0x00}));
  Click(preview->chkPaperOut);
  const auto paper_out = server::AutomaticStatus({.paper_out = true});
  EXPECT_EQ(ReadSome(fd, 4, 5s), Bytes(paper_out.begin(), paper_out.end()));
  Click(preview->chkPaperOut);
  EXPECT_EQ(ReadSome(fd, 4, 5s), (Bytes{0x10, 0x00, 0x00, 0x00}));
  const Bytes second = Receipt("second", 40);
  ASSERT_TRUE(SendAll(fd, second));
  shutdown(fd, SHUT_WR);
  ReadSome(fd, 1 << 16, 10s);
  close(fd);
  WaitJobs(preview, 2);
  ASSERT_EQ(preview->JobList->rowCount(), 2);

  // The list: source, bytes and the counts of the core's own report of those bytes.
  Bytes second_sent = {0x1D, 'a', 0xFF};
  second_sent.insert(second_sent.end(), second.begin(), second.end());
  const Bytes* sent_of[] = {&first, &second_sent};
  for (int r = 0; r < 2; ++r) {
    SCOPED_TRACE(r);
    const Bytes& sent = *sent_of[r];
    const render::Report report = ReportOf(sent);
    ASSERT_GT(report.unknown_bytes, 0u);
    auto cell = [&](int column) { return preview->JobList->item(r, column)->text(); };
    EXPECT_TRUE(cell(VirtualPrinterWindow::kSourceColumn).startsWith(QStringLiteral("127.0.0.1:")));
    EXPECT_EQ(cell(VirtualPrinterWindow::kBytesColumn), QString::number(sent.size()));
    EXPECT_EQ(cell(VirtualPrinterWindow::kUnknownColumn), QString::number(report.unknown_bytes));
    EXPECT_EQ(cell(VirtualPrinterWindow::kNotDrawnColumn), QString::number(report.not_drawn));
    EXPECT_EQ(cell(VirtualPrinterWindow::kRefusedColumn), QString::number(report.refused));
    EXPECT_EQ(cell(VirtualPrinterWindow::kTimeColumn).size(), 8);  // HH:mm:ss
  }

  // The paper: a marked line, then the job's text, for each job.
  const render::Bitmap paper = preview->Paper();
  const int top0 = preview->JobTop(0), top1 = preview->JobTop(1);
  EXPECT_EQ(top0, 0);
  EXPECT_GT(top1, top0 + VirtualPrinterWindow::kSeparatorRows + 500);
  EXPECT_EQ(preview->JobTop(2), -1);
  for (int top : {top0, top1}) {
    EXPECT_GT(DotsAndDashes(paper, top + VirtualPrinterWindow::kSeparatorRows / 2, 1).second, 20);
    EXPECT_GT(DotsAndDashes(paper, top + VirtualPrinterWindow::kSeparatorRows, 400).first, 1000);
  }

  // Choosing a job in the list scrolls the paper to its marked line.
  QScrollBar* bar = preview->ScrollArea->verticalScrollBar();
  ASSERT_GT(bar->maximum(), top1);
  for (int r : {0, 1, 0}) {
    const QRect cell = preview->JobList->visualItemRect(preview->JobList->item(r, 1));
    QTest::mouseClick(preview->JobList->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(bar->value(), preview->JobTop(r)) << r;
  }

  // A program printing to the serial link: its job ends at the cut.
  const int tty = ::open(link.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(tty, 0);
  const Bytes serial = Receipt("serial", 3);
  ASSERT_EQ(::write(tty, serial.data(), serial.size()), static_cast<ssize_t>(serial.size()));
  WaitJobs(preview, 3);
  EXPECT_EQ(preview->JobList->item(2, VirtualPrinterWindow::kSourceColumn)->text(),
            QStringLiteral("serial:") + QString::fromStdString(link.string()));
  ::close(tty);

  // Off: the server stops, and the settings are in the user's file, its models kept.
  Click(preview->chkAcceptJobs);
  EXPECT_FALSE(preview->Accepting());
  EXPECT_LT(Connect(port), 0);
  const IniFile ini = IniFile::Load(UserIni().string());
  EXPECT_EQ(ini.ReadString("Virtual", "Listen", ""), "127.0.0.1:0");
  EXPECT_EQ(ini.ReadString("Virtual", "Accept", ""), "0");
  EXPECT_EQ(ini.ReadString("Virtual", "Serial", ""), link.string());
  EXPECT_TRUE(ini.Find("Common", "Number"));
}

TEST_F(AcceptWindowTest, AStartThatCannotListenSaysWhyAndTheBoxGoesBackOff) {
  std::string error;
  const int taken = server::OpenListener("127.0.0.1:0", &error);
  ASSERT_GE(taken, 0) << error;
  const QString taken_address = QString::fromStdString(server::LocalAddress(taken));
  struct Case {
    QString listen, serial, says;
  } cases[] = {
      {taken_address, {}, taken_address + QStringLiteral(": the port is in use")},
      {QStringLiteral("127.0.0.1"), {}, QStringLiteral("is not ADDRESS:PORT")},
      {QStringLiteral("127.0.0.1:0"),
       QString::fromStdString((dir_.path() / "no" / "ttyV0").string()),
       QString::fromStdString((dir_.path() / "no" / "ttyV0").string())},
  };
  TMainForm& f = Open();
  f.show();
  Click(f.sbtnVirtualPrinter);
  VirtualPrinterWindow* preview = f.VirtualPreview();
  ASSERT_NE(preview, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listen.toStdString());
    preview->edListen->setText(c.listen);
    preview->edSerial->setText(c.serial);
    Click(preview->chkAcceptJobs);
    EXPECT_FALSE(preview->chkAcceptJobs->isChecked());
    EXPECT_FALSE(preview->Accepting());
    const QString line = preview->StatusLine->text();
    EXPECT_TRUE(line.contains(QStringLiteral("接收打印任务未能开始：")) && line.contains(c.says))
        << line.toStdString();
  }
  // Nothing was kept of a start that failed.
  EXPECT_FALSE(fs::exists(UserIni()));
  close(taken);
}

TEST_F(AcceptWindowTest, ClosingTheWindowWhileAJobArrivesEndsTheServerCleanly) {
  TMainForm& f = Open();
  f.show();
  VirtualPrinterWindow* preview = AcceptingPreview(f);
  ASSERT_NE(preview, nullptr);
  const uint16_t port = PortOf(preview->ListeningOn());
  const Bytes job = Receipt("half", 400);
  const int fd = Connect(port);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendAll(fd, Bytes(job.begin(), job.begin() + job.size() / 2)));
  // The job has begun at the printer: its bytes are in the store.
  const fs::path bin = dir_.path() / "data" / "tillvane" / "jobs" / "000001.bin";
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        std::error_code ec;
        return fs::file_size(bin, ec) > 0 && !ec;
      },
      10000));

  const auto start = std::chrono::steady_clock::now();
  auto boxes = WithMessageBoxes([&] { f.close(); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_FALSE(preview->isVisible());
  EXPECT_FALSE(preview->Accepting());
  EXPECT_FALSE(preview->chkAcceptJobs->isChecked());
  // The printer closed its side, and kept what came as a job stopped short.
  EXPECT_EQ(ReadSome(fd, 1 << 16, 5s), Bytes{});
  close(fd);
  std::string json;
  for (uint8_t c : ReadFileBytes(bin.parent_path() / "000001.json"))
    json.push_back(static_cast<char>(c));
  EXPECT_NE(json.find("\"stop\""), std::string::npos) << json;
}

TEST_F(AcceptWindowTest, VirtualPrinterOptionOpensThePreviewWithoutTheLink) {
  // The user's settings say to accept: the preview starts taking jobs as it opens.
  fs::create_directories(UserIni().parent_path());
  const std::string ini = StandardIni(dir_.path()) + "[Virtual]\nAccept=1\nListen=127.0.0.1:0\n";
  WriteFileBytes(UserIni(), Bytes(ini.begin(), ini.end()));
  TMainForm& f = Open();
  f.show();
  const CommandLine line =
      ReadCommandLine({QStringLiteral("tillvane"), QStringLiteral("--virtual-printer")}, {},
                      Language::Chinese, true);
  ASSERT_EQ(line.action, CommandLine::Action::Run) << line.text.toStdString();
  ASSERT_TRUE(line.open_virtual_printer);
  f.FollowCommandLine(line);
  ASSERT_NE(f.VirtualPreview(), nullptr);
  EXPECT_TRUE(f.VirtualPreview()->isVisible());
  EXPECT_EQ(LinkKindInForce(), LinkKind::None);
  EXPECT_EQ(VirtualPrinterOfLink(), nullptr);
  EXPECT_FALSE(f.sbtnDemo->isEnabled());
  EXPECT_FALSE(ReadCommandLine({QStringLiteral("tillvane")}, {}, Language::Chinese, true)
                   .open_virtual_printer);

  // Both at once: the virtual printer applied as the link prints the demo receipt, and
  // a received job goes on the same paper after it.
  VirtualPrinterWindow* preview = f.VirtualPreview();
  ASSERT_TRUE(preview->Accepting()) << preview->StatusLine->text().toStdString();
  EXPECT_TRUE(preview->chkAcceptJobs->isChecked());
  Click(f.sbtnPortOption);
  Click(f.rbtnVirtual);
  auto boxes = WithMessageBoxes([&] { Click(f.sbtnApply); });
  EXPECT_TRUE(boxes.empty()) << MessageTexts(boxes).join("|").toStdString();
  EXPECT_EQ(LinkKindInForce(), LinkKind::Virtual);
  EXPECT_EQ(f.VirtualPreview(), preview);
  EXPECT_TRUE(preview->Accepting());
  Click(f.sbtnDemo);
  Click(f.sbtnSample);
  ASSERT_TRUE(WaitVirtualPrinterIdle(20000));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const auto shot = VirtualPrinterOfLink()->Take();
        return shot.report.pages >= 1 && preview->PaperRows() >= shot.pages.front()->dots.height();
      },
      10000));
  PrintJob(PortOf(preview->ListeningOn()), Receipt("after", 5));
  WaitJobs(preview, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return preview->JobTop(0) > 500; }, 10000))
      << preview->JobTop(0);
  EXPECT_EQ(preview->PaperRows(), preview->Paper().height());
}

}  // namespace
}  // namespace tillvane::testing
