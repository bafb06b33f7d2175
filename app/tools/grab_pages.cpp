// Saves one picture of each page of the main window and one of the virtual printer's
// preview, in one of the window's languages:
//   grab_pages [--lang en|zh] OUTPUT_FOLDER [PROGRAM_FOLDER]
// Run it on a display (or Xvfb) with the program's data beside it.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <cstdio>

#include "app/language.h"
#include "app/main_form.h"
#include "app/virtual_printer_window.h"
#include "link/virtual_link.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  QStringList args = QApplication::arguments().mid(1);
  tillvane::Language language = tillvane::Language::Chinese;
  if (args.size() >= 2 && args[0] == QLatin1String("--lang")) {
    const std::optional<tillvane::Language> chosen = tillvane::ParseLanguage(args[1]);
    if (!chosen) {
      std::fprintf(stderr, "unknown language %s: en or zh\n", qPrintable(args[1]));
      return 2;
    }
    language = *chosen;
    args = args.mid(2);
  }
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: %s [--lang en|zh] OUTPUT_FOLDER [PROGRAM_FOLDER]\n", argv[0]);
    return 2;
  }
  if (!tillvane::InstallTranslations(app, language))
    std::fprintf(stderr, "grab_pages: a catalogue of the language is missing\n");
  const QString out = args[0];
  QDir().mkpath(out);
  tillvane::TMainForm form(args.size() > 1 ? args[1].toStdString() : std::string());
  form.show();
  struct Page {
    QWidget* page;
    const char* file;
  };
  const Page pages[] = {{form.tbsMain, "index-page.png"},
                        {form.tbsPortOption, "port-page.png"},
                        {form.tbsDemo, "demo-page.png"},
                        {form.tbsDownloadLogo, "logo-page.png"}};
  int failures = 0;
  for (const Page& p : pages) {
    form.PageControl1->setCurrentWidget(p.page);
    // The logo page with a preview, when the picture is there to be shown.
    if (p.page == form.tbsDownloadLogo &&
        QFile::exists(QDir(QString::fromStdString(form.ProgramFolder())).filePath("Lion.bmp")))
      form.chkLion->click();
    for (int i = 0; i < 10; ++i) app.processEvents();
    const QString path = QDir(out).filePath(QString::fromLatin1(p.file));
    if (!form.grab().save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ++failures;
    }
  }
  // The virtual printer's preview after two receipts.
  form.PageControl1->setCurrentWidget(form.tbsPortOption);
  form.rbtnVirtual->click();
  form.sbtnApply->click();
  if (tillvane::VirtualPrinterWindow* preview = form.VirtualPreview()) {
    form.sbtnSample->click();
    form.sbtnAccount->click();
    if (!tillvane::WaitVirtualPrinterIdle(20000))
      std::fprintf(stderr, "grab_pages: the virtual printer was still printing after 20 s\n");
    for (int i = 0; i < 10; ++i) {
      preview->Refresh();
      app.processEvents();
    }
    const QString path = QDir(out).filePath(QStringLiteral("virtual-printer.png"));
    if (!preview->grab().save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ++failures;
    }
  } else {
    std::fprintf(stderr, "the virtual printer's preview did not open\n");
    ++failures;
  }
  form.close();
  return failures == 0 ? 0 : 1;
}
