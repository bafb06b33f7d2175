// The virtual printer's preview, "Tillvane 虚拟打印机": the paper roll as it comes out,
// one screen pixel per dot at 100 %, scrolled to the newest line; saving it as a PNG,
// clearing it, the printer's state (paper out, paper near end, cover open, offline),
// which the printer's status answers follow, and its character profile.
//
// The printer prints on its own thread. The window never interprets a byte: a timer
// copies the rows the printer has finished since the last look.
//
// "接收打印任务" takes print jobs from other programs as well (session/job_receiver.h),
// on an address and optionally a serial link kept in the user's Tillvane.ini
// ([Virtual]): each finished job goes on the paper under a marked line (a dashed row
// and its number) and into the job list beside the paper.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/page.h"
#include "render/virtual_printer.h"
#include "session/job_receiver.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTableWidget;
class QTimer;

namespace tillvane {

class PaperView;

class VirtualPrinterWindow : public QWidget {
  Q_OBJECT

 public:
  // How often the window looks for new rows while it is shown, in ms.
  static constexpr int kRefreshMs = 40;

  // Rows of the marked line above each received job.
  static constexpr int kSeparatorRows = 32;
  // The job list's columns.
  enum JobColumn {
    kTimeColumn,
    kSourceColumn,
    kBytesColumn,
    kUnknownColumn,
    kNotDrawnColumn,
    kRefusedColumn,
    kJobColumns
  };

  // A window of its own; `owner` only ends its life. The [Virtual] settings are read
  // from `settings_read` (the Tillvane.ini the program read) and kept in
  // `settings_user` (the user's own, started from the other when it is not there yet).
  explicit VirtualPrinterWindow(QWidget* owner, std::string settings_read = {},
                                std::string settings_user = {});
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

  // Received jobs: turning the box on starts taking them, off stops (as do closing the
  // window and a failed start, which says why in the status line).
  bool Accepting() const { return receiver_.running(); }
  // The address listened on while accepting ("127.0.0.1:9100"), empty otherwise.
  QString ListeningOn() const;
  // The paper row the marked line of job-list row `row` starts at; -1 for no such row.
  int JobTop(int row) const;
  // Stops taking jobs; the box goes off without the setting changing.
  void StopAccepting();
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
  QCheckBox* chkAcceptJobs = nullptr;  // "接收打印任务"
  QLineEdit* edListen = nullptr;       // its address
  QLineEdit* edSerial = nullptr;       // its serial link; empty: none
  QTableWidget* JobList = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class PaperView;
  struct ShownPage {
    uint64_t number = 0;
    QImage image;
  };
  // A received job: on the paper after the printer's page `after_page` (0: before
  // every page shown), its marked line first.
  struct ShownJob {
    uint64_t number = 0;
    uint64_t after_page = 0;
    QImage separator;
    QImage image;
  };
  // What is on the paper, top to bottom; `job` is the job of a marked line, or -1.
  struct Piece {
    const QImage* image;
    int job;
  };
  std::vector<Piece> Pieces() const;

  void StateChanged();
  void SaveClicked();
  void ZoomChanged();
  void ProfileChanged();
  void ShowProfile();
  void Relayout(bool to_newest);
  void ShowCounts(const render::Report& report);
  void CopyPrinterPaper();
  void AcceptToggled(bool on);
  bool SaveSettings(bool accept, QString* error);
  void TakeReceivedJobs();
  void AddJob(const ReceivedJob& job);
  void FitJobsToWidth();
  void JobSelected();

  std::shared_ptr<render::VirtualPrinter> printer_;
  uint64_t version_ = 0;
  bool have_version_ = false;
  std::vector<ShownPage> pages_;  // oldest first
  QImage current_;                // paper fed since the last page went out
  int width_ = render::kDots80mm;
  PaperView* view_ = nullptr;
  QTimer* timer_ = nullptr;
  render::Report report_;  // the link printer's, as last shown

  JobReceiver receiver_;
  std::vector<ShownJob> jobs_;  // as they came
  QString accept_text_;         // what the status line says of the received jobs
  std::string settings_read_, settings_user_;
  bool accept_on_show_ = false;  // the setting says to accept when the window opens
  bool settling_ = false;        // the box is being set back, not by the operator
};

}  // namespace tillvane
