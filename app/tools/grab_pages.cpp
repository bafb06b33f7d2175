// Saves one picture of each page of the main window and one of the virtual printer's
// preview: grab_pages OUTPUT_FOLDER
// [PROGRAM_FOLDER]. Run it on a display (or Xvfb) with the program's data beside it.
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

#include "app/main_form.h"
#include "app/virtual_printer_window.h"
#include "link/virtual_link.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [PROGRAM_FOLDER]\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  tillvane::TMainForm form(argc > 2 ? argv[2] : "");
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
