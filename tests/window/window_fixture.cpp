#include "tests/window/window_fixture.h"

#include <QTest>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <fstream>

#include <unistd.h>

#include "link/link_state.h"
#include "session/sender_gate.h"

namespace tillvane::testing {

ScopedLanguage::ScopedLanguage(Language language) {
  bool complete = false;
  catalogues_ = LoadCatalogues(language, &complete);
  EXPECT_TRUE(complete);
  for (auto& c : catalogues_) QCoreApplication::installTranslator(c.get());
}

ScopedLanguage::~ScopedLanguage() {
  for (auto& c : catalogues_) QCoreApplication::removeTranslator(c.get());
}

void Click(QAbstractButton* button) {
  ASSERT_NE(button, nullptr);
  // A radio button or check box answers a click on its indicator or its text, not on
  // the empty rest of its box: aim at the indicator.
  QPoint at = button->rect().center();
  QStyle::SubElement indicator = QStyle::SE_CustomBase;
  if (qobject_cast<QRadioButton*>(button) != nullptr) indicator = QStyle::SE_RadioButtonIndicator;
  if (qobject_cast<QCheckBox*>(button) != nullptr) indicator = QStyle::SE_CheckBoxIndicator;
  if (indicator != QStyle::SE_CustomBase) {
    QStyleOptionButton option;
    option.initFrom(button);
    at = button->style()->subElementRect(indicator, &option, button).center();
  }
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
}

void ClickChoosingFile(QAbstractButton* button, const std::filesystem::path& file,
                       const std::function<void(QFileDialog*)>& seen) {
  QTimer picker;
  picker.setInterval(5);
  QObject::connect(&picker, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    if (seen) seen(dialog);
    dialog->selectFile(QString::fromStdString(file.string()));
    static_cast<QDialog*>(dialog)->accept();
  });
  picker.start();
  Click(button);
  picker.stop();
}

std::vector<SeenBox> WithMessageBoxes(const std::function<void()>& action) {
  std::vector<SeenBox> seen;
  QTimer watcher;
  watcher.setInterval(5);
  QObject::connect(&watcher, &QTimer::timeout, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    int answers = 0;
    QStringList captions;
    for (QAbstractButton* b : box->buttons()) {
      // The details button only shows the detailed text; it answers nothing.
      if (box->buttonRole(b) == QMessageBox::ActionRole) continue;
      ++answers;
      captions << b->text();
    }
    const QCursor* pointer = QApplication::overrideCursor();
    seen.push_back({box->windowTitle(), box->text(), answers, box->detailedText(),
                    pointer != nullptr ? static_cast<int>(pointer->shape()) : -1, captions});
    box->accept();
  });
  watcher.start();
  action();
  // A box opened by a worker thread may still be on its way.
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  watcher.stop();
  return seen;
}

StandardErrorCapture::StandardErrorCapture() : file_(std::tmpfile()) {
  std::fflush(stderr);
  if (file_ != nullptr) {
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file_), STDERR_FILENO);
  }
}

StandardErrorCapture::~StandardErrorCapture() {
  Text();
  if (file_ != nullptr) std::fclose(file_);
}

std::string StandardErrorCapture::Text() {
  if (saved_ < 0) return {};
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
  saved_ = -1;
  std::string text;
  std::rewind(file_);
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file_)) > 0;) text.append(chunk, n);
  std::fputs(text.c_str(), stderr);  // still shown in the test's own output
  return text;
}

void ExpectReasonShownAndLogged(const SeenBox& box, const std::string& standard_error) {
  EXPECT_FALSE(box.detail.isEmpty()) << box.text.toStdString();
  EXPECT_NE(standard_error.find(box.detail.toStdString()), std::string::npos)
      << "detail: " << box.detail.toStdString() << "\nstandard error:\n"
      << standard_error;
  EXPECT_NE(standard_error.find("tillvane.link: warning: "), std::string::npos) << standard_error;
}

QStringList MessageTexts(const std::vector<SeenBox>& boxes) {
  QStringList out;
  for (const SeenBox& b : boxes) out << b.text;
  return out;
}

void WriteIni(const std::filesystem::path& folder, const std::string& ini) {
  std::ofstream out(folder / "Tillvane.ini", std::ios::binary | std::ios::trunc);
  out << ini;
}

std::string StandardIni(const std::filesystem::path& folder, int default_number,
                        const std::string& com1_device) {
  std::string ini =
      "[Common]\n"
      "Number=3\n"
      "DefaultNumber=" +
      std::to_string(default_number) +
      "\n"
      "ApplicationName=Shopfloor\n"
      "BaseDriverName=Vorn-102\n"
      "[Pos1]\nName=TM-80\nWidth=80\n"
      "[Pos2]\nName=Vorn-101\nWidth=80\n"
      "[Pos3]\nName=Narrow-56\nWidth=56\n"
      "[Ports]\n";
  for (int n = 1; n <= 8; ++n) {
    const std::string device = n == 1 && !com1_device.empty()
                                   ? com1_device
                                   : (folder / ("com" + std::to_string(n))).string();
    ini += "COM" + std::to_string(n) + "=" + device + "\n";
  }
  return ini;
}

std::string GoldenIni(bool narrow, const std::string& com1_device) {
  return std::string("[Common]\nNumber=2\nDefaultNumber=") + (narrow ? "2" : "1") +
         "\n[Pos1]\nName=\nWidth=80\n[Pos2]\nName=\nWidth=56\n[Ports]\nCOM1=" + com1_device + "\n";
}

Bytes Golden(const std::string& name) {
  const Bytes bytes = ReadFileBytes(GoldenDir() / (name + ".bin"));
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

void WindowTest::SetUp() {
  ResetLinkState();
  WriteIni(dir_.path(), StandardIni(dir_.path()));
}

void WindowTest::TearDown() {
  form_.reset();
  if (SendingInProgress()) EndSending();
  ResetLinkState();
}

TMainForm& WindowTest::Open() {
  form_ = std::make_unique<TMainForm>(dir_.path().string());
  return *form_;
}

QString WindowTest::IniPath() const {
  return QString::fromStdString((dir_.path() / "Tillvane.ini").string());
}

void WindowTest::PickModel(int index) {
  form_->cboPrinterModel->setCurrentIndex(index);
  emit form_->cboPrinterModel->activated(index);
}

}  // namespace tillvane::testing
