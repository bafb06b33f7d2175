// The pieces the main window's pages are built from, shared by the files of TMainForm:
// its colours and fonts, its kinds of controls, and the pointer shapes around a send.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QRect>
#include <QString>
#include <QStringList>
#include <string>

#include "session/sender_gate.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;

namespace tillvane::form {

inline const QColor kPurple{0x80, 0x00, 0x80};
inline const QColor kNavy{0x00, 0x00, 0x80};

// The busy pointer while the window's thread is held by a send, so that a slow printer
// does not look like a hung program.
class BusyCursor {
 public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// The ordinary pointer over a message box, also while a busy pointer is shown.
class ArrowCursor {
 public:
  ArrowCursor();
  ~ArrowCursor();
  ArrowCursor(const ArrowCursor&) = delete;
  ArrowCursor& operator=(const ArrowCursor&) = delete;

 private:
  bool pushed_;
};

// Every printing action of the window runs through here, on the window's thread, with
// the busy pointer. While another sender holds the gate (a background job, or an
// action that is still running), the click does nothing at all.
template <class Action>
void RunAsSender(Action&& action) {
  SendingScope gate;
  if (!gate.held()) return;
  BusyCursor busy;
  action();
}

QFont BaseFont();
QFont BoldFont(int pixels);

// Colours the text of a control for its usable states; a disabled control keeps the
// style's grey.
void SetTextColour(QWidget* w, const QColor& colour);

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour,
                  int pixels, int x, int y);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QColor& colour, int pixels, QRect geometry);
QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items, QRect geometry);
QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption,
                        const QColor& colour, QRect geometry);
QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption,
                     const QColor& colour, QRect geometry);
QFrame* MakePanel(QWidget* parent, const char* name, QFrame::Shadow shadow, QRect geometry);

// The file of that name in `folder`, matched without regard to case.
QString FindFileNoCase(const std::string& folder, const char* name);

}  // namespace tillvane::form
