#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tillvane");
  QLabel label("Tillvane: the main window is not built yet.");
  label.setWindowTitle("Tillvane V2.41");
  label.resize(685, 548);
  label.setAlignment(Qt::AlignCenter);
  label.show();
  return app.exec();
}
