#include "app/form_kit.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>

#include "session/jobs.h"

namespace tillvane::form {

BusyCursor::BusyCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The window system hears of it now, before the thread blocks; clicks meanwhile
  // stay queued.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusyCursor::~BusyCursor() {
  QApplication::restoreOverrideCursor();
}

ArrowCursor::ArrowCursor() : pushed_(QApplication::overrideCursor() != nullptr) {
  if (pushed_) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

ArrowCursor::~ArrowCursor() {
  if (pushed_) QApplication::restoreOverrideCursor();
}

QFont BaseFont() {
  QFont f;
  f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("WenQuanYi Micro Hei"),
                 QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(13);
  return f;
}

QFont BoldFont(int pixels) {
  QFont f = BaseFont();
  f.setPixelSize(pixels);
  f.setBold(true);
  return f;
}

void SetTextColour(QWidget* w, const QColor& colour) {
  QPalette p = w->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::WindowText, colour);
    p.setColor(group, QPalette::ButtonText, colour);
    p.setColor(group, QPalette::Text, colour);
  }
  w->setPalette(p);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour,
                  int pixels, int x, int y) {
  auto* l = Named(new QLabel(text, parent), name);
  l->setFont(BoldFont(pixels));
  SetTextColour(l, colour);
  l->move(x, y);
  l->adjustSize();
  return l;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QColor& colour, int pixels, QRect geometry) {
  auto* b = Named(new QPushButton(caption, parent), name);
  b->setFlat(true);
  b->setCursor(Qt::PointingHandCursor);
  b->setFocusPolicy(Qt::TabFocus);
  b->setFont(BoldFont(pixels));
  b->setGeometry(geometry);
  // A flat button with a light frame, so that it reads as a button on the panels.
  b->setStyleSheet(
      QStringLiteral("QPushButton { color: %1; border: 1px solid #b8ab98; border-radius: 3px;"
                     " background: #f7f3ec; }"
                     "QPushButton:hover { background: #ffe9c7; border-color: #e8700a; }"
                     "QPushButton:pressed { background: #ffd596; }"
                     "QPushButton:disabled { color: #a6a6a6; border-color: #d2cbc0; }")
          .arg(colour.name()));
  return b;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items, QRect geometry) {
  auto* c = Named(new QComboBox(parent), name);
  c->setEditable(false);
  c->addItems(items);
  c->setFont(BoldFont(13));
  SetTextColour(c, kNavy);
  c->setGeometry(geometry);
  return c;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption,
                        const QColor& colour, QRect geometry) {
  auto* r = Named(new QRadioButton(caption, parent), name);
  r->setFont(BoldFont(13));
  SetTextColour(r, colour);
  r->setGeometry(geometry);
  return r;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption,
                     const QColor& colour, QRect geometry) {
  auto* g = Named(new QGroupBox(caption, parent), name);
  g->setFont(BoldFont(13));
  SetTextColour(g, colour);
  g->setGeometry(geometry);
  return g;
}

QFrame* MakePanel(QWidget* parent, const char* name, QFrame::Shadow shadow, QRect geometry) {
  auto* p = Named(new QFrame(parent), name);
  p->setFrameStyle(QFrame::Panel | shadow);
  p->setLineWidth(1);
  p->setGeometry(geometry);
  return p;
}

QString FindFileNoCase(const std::string& folder, const char* name) {
  return QString::fromStdString(jobs::FindFileNoCase(folder, name));
}

}  // namespace tillvane::form
