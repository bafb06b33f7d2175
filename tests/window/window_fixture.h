// Shared by the window tests: a program folder of the test's own, the window built in
// it, and a watcher that reads and closes the window's message boxes.
#pragma once

#include <QAbstractButton>
#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/language.h"
#include "app/main_form.h"
#include "tests/support/recording.h"

namespace tillvane::testing {

// What one message box showed.
struct SeenBox {
  QString title;
  QString text;
  int buttons = 0;           // number of answer buttons the box offered (its details button aside)
  QString detail;            // the box's detailed text: the system's reason, when it has one
  int cursor = -1;           // shape of the application's override pointer over it, -1 for none
  QStringList button_texts;  // the captions of its answer buttons
};

// The window's language for the life of the object: the catalogues the program installs
// for it. The window tests otherwise run with none, in the Chinese the window is
// written in. Build the window after this.
class ScopedLanguage {
 public:
  explicit ScopedLanguage(Language language);
  ~ScopedLanguage();
  ScopedLanguage(const ScopedLanguage&) = delete;
  ScopedLanguage& operator=(const ScopedLanguage&) = delete;

 private:
  std::vector<std::unique_ptr<QTranslator>> catalogues_;
};

// Runs `action`; every modal message box that opens meanwhile is read and accepted
// as the operator would press OK. Returns the boxes in the order they opened.
std::vector<SeenBox> WithMessageBoxes(const std::function<void()>& action);
QStringList MessageTexts(const std::vector<SeenBox>& boxes);

// Standard error of the whole program, taken into a file from construction until
// Text(): what the operator would see in a terminal, log lines included.
class StandardErrorCapture {
 public:
  StandardErrorCapture();
  ~StandardErrorCapture();
  StandardErrorCapture(const StandardErrorCapture&) = delete;
  StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;
  // Puts standard error back and returns what was written to it meanwhile.
  std::string Text();

 private:
  int saved_ = -1;
  std::FILE* file_ = nullptr;
};

// The box carries the system's reason as its detail, and the same reason is on
// standard error.
void ExpectReasonShownAndLogged(const SeenBox& box, const std::string& standard_error);

// Presses a button (push button, radio button, check box) with the mouse, as the
// operator does: a left click at its centre, through the window's event handling.
void Click(QAbstractButton* button);

// Presses `button` and, in the file dialog it opens, chooses `file`. `seen`, when
// given, is called with the dialog first, to note what it offers.
void ClickChoosingFile(QAbstractButton* button, const std::filesystem::path& file,
                       const std::function<void(QFileDialog*)>& seen = {});

// Writes `ini` as Tillvane.ini into `folder`.
void WriteIni(const std::filesystem::path& folder, const std::string& ini);

// An ini with three models (TM-80 width 80, Vorn-101 width 80, Narrow-56 width 56),
// the one of `default_number` chosen, and COM1..COM8 mapped to paths under `folder`
// that do not exist, except COM1 when `com1_device` is given.
std::string StandardIni(const std::filesystem::path& folder, int default_number = 1,
                        const std::string& com1_device = {});

// The models of the golden files, which print an empty model name: Pos1 of width 80
// and Pos2 of width 56 (chosen when `narrow`), with COM1 mapped to `com1_device`.
std::string GoldenIni(bool narrow, const std::string& com1_device);

// The golden byte stream of a document (tests/golden/<name>.bin).
Bytes Golden(const std::string& name);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Builds the window in the program folder, with Tillvane.ini as written before.
  TMainForm& Open();
  // Picks model `index` of the model list as the operator does.
  void PickModel(int index);
  // The program folder's Tillvane.ini.
  QString IniPath() const;

  ScopedTempDir dir_;  // the program folder and the current folder
  std::unique_ptr<TMainForm> form_;
};

}  // namespace tillvane::testing
