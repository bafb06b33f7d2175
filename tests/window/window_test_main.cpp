// The window tests need one application object for the whole program. Without a
// display they run on Qt's offscreen platform, and without a print server of their
// own (a test that wants one starts the CUPS rig) they never ask the machine's.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("CUPS_SERVER"))
    qputenv("CUPS_SERVER", "/nonexistent/tillvane-window-test/cups.sock");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tillvane"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
