// The virtual printer's preview, "Tillvane 虚拟打印机": the paper roll as it comes out,
// one screen pixel per dot at 100 %, scrolled to the newest line; saving it as a PNG,
// clearing it, the printer's state (paper out, paper near end, cover open, offline),
// which the printer's status answers follow, and its character profile.
//
// The printer prints on its own thread. The window never interprets a byte: a timer
// copies the rows the printer has finished since the last look.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "render/page.h"
#include "render/virtual_printer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;

namespace tillvane {

class PaperView;

class VirtualPrinterWindow : public QWidget {
  Q_OBJECT

 public:
  // How often the window looks for new rows while it is shown, in ms.
  static constexpr int kRefreshMs = 40;

  // A window of its own; `owner` only ends its life.
  explicit VirtualPrinterWindow(QWidget* owner);
  ~VirtualPrinterWindow() override;

  // Shows the window to the right of `beside` (inside the screen) and raises it.
  void ShowBeside(const QWidget* beside);

  // Follows the printer of the virtual link (a new one after the paper width
  // changed) and copies what it printed since the last call. The timer calls it.
  void Refresh();

  // The paper as the window holds it: the pages kept and the paper fed since the last
  // cut, one under the other, black dots a 1.
  render::Bitmap Paper() const;
  int PaperRows() const;
  // Writes the paper as a PNG, one pixel per dot. False and `error` when it cannot.
  bool SavePicture(const QString& path, QString* error) const;
  // Lets the printed paper go, in the window and in the printer.
  void ClearPaper();
  // The zoom in percent of the dot size.
  int Zoom() const;

  // Called when the operator chooses another profile, after the printer took it (the
  // main window keeps it in Tillvane.ini).
  std::function<void(render::Profile)> ProfileChosen;

  QComboBox* cboZoom = nullptr;
  QComboBox* cboProfile = nullptr;
  QPushButton* sbtnSavePicture = nullptr;
  QPushButton* sbtnClearPaper = nullptr;
  QCheckBox* chkPaperOut = nullptr;
  QCheckBox* chkPaperNearEnd = nullptr;
  QCheckBox* chkCoverOpen = nullptr;
  QCheckBox* chkOffline = nullptr;
  QScrollArea* ScrollArea = nullptr;
  QLabel* StatusLine = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  friend class PaperView;
  struct ShownPage {
    uint64_t number = 0;
    QImage image;
  };

  void StateChanged();
  void SaveClicked();
  void ZoomChanged();
  void ProfileChanged();
  void ShowProfile();
  void Relayout(bool to_newest);
  void ShowCounts(const render::Report& report);

  std::shared_ptr<render::VirtualPrinter> printer_;
  uint64_t version_ = 0;
  bool have_version_ = false;
  std::vector<ShownPage> pages_;  // oldest first
  QImage current_;                // paper fed since the last page went out
  int width_ = render::kDots80mm;
  PaperView* view_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace tillvane
