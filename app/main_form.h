// The main window: four pages reached by large buttons, a header and a status bar.
// The window holds the controls and their handlers; every device is reached through
// the session (session/). One class, its member functions by page:
//   main_form.cpp        the frame, the header and the operator's message boxes
//   index_page.cpp       the index page and the navigation between pages
//   port_page.cpp        the port page, built from the link-kinds table, and applying it
//   demo_page.cpp        the demo receipts, the repeated demo and the command file
//   logo_page.cpp        the logo choices and their preview
//   status_bar.cpp       the status bar, the clock and what the jobs show there
//   start_and_close.cpp  start-up (FormCreate) and closing the links (FormClose)
#pragma once

#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/qt_dispatcher.h"
#include "base/message_sink.h"
#include "config/config_location.h"
#include "config/models.h"
#include "config/program_folder.h"
#include "render/profile.h"
#include "session/job_window.h"
#include "session/link_choice.h"
#include "session/status_check.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTimer;

namespace tillvane {

class VirtualPrinterWindow;

// The demo page's cutter choice, as the receipts take it.
enum class Cutter : int32_t {
  Full = 0,
  Partial = 1,
  None = 2,
};

class TMainForm : public QWidget, public jobs::JobWindow {
  Q_OBJECT

 public:
  // `program_folder` is the folder of the configuration file, the logo pictures and
  // the index picture; empty means the folder of the running executable.
  explicit TMainForm(const std::string& program_folder = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  const std::string& ProgramFolder() const { return program_folder_; }
  int32_t CutterMode() const { return static_cast<int32_t>(demo_.cutter); }
  const std::string& BaseDriverName() const { return config_.BaseDriverName; }
  const ModelConfig& Models() const { return config_; }
  // Which Tillvane.ini was read (the title bar names it).
  const ConfigChoice& ConfigFile() const { return config_file_; }
  jobs::Dispatcher& JobDispatcher() { return dispatcher_; }

  // What the background jobs change on the window (always on the window's thread).
  void SetStatusText(const std::string& text, jobs::Rgb colour) override;
  void SetProgress(int32_t position) override;
  void SetButtonEnabled(jobs::IndexButton button, bool enabled) override;

  // Shows a modal message box with the caption "Tillvane" and one OK button. Safe to
  // call from any thread: a worker's call waits until the operator has closed the box.
  // `detail`, when given, is the system's reason, behind the box's details button.
  void ShowOperatorMessage(const QString& text, const QString& detail = {});

  // The clock text of a local time: "%04d-%02d-%02d %02d:%02d".
  static QString ClockText(const std::tm& local);

  // The folder of /proc/self/exe without a trailing separator.
  static std::string ExecutableFolder() { return tillvane::ExecutableFolder(); }

  // Controls, named as the handlers name them.
  QWidget* Panel1 = nullptr;
  QLabel* Label8 = nullptr;
  QStackedWidget* PageControl1 = nullptr;
  QWidget* tbsMain = nullptr;
  QWidget* tbsPortOption = nullptr;
  QWidget* tbsDemo = nullptr;
  QWidget* tbsDownloadLogo = nullptr;

  // Index page.
  QFrame* Panel3 = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* Label15 = nullptr;
  QFrame* Panel2 = nullptr;
  QPushButton* sbtnPortOption = nullptr;
  QPushButton* sbtnDownloadLogo = nullptr;
  QPushButton* sbtnDemo = nullptr;
  QPushButton* sbtnClearError = nullptr;
  QPushButton* sbtnPrinterStatus = nullptr;  // "打印机状态": the printer's status flags
  QPushButton* sbtnExit = nullptr;
  // "虚拟打印机": the virtual printer's preview, without making it the link.
  QPushButton* sbtnVirtualPrinter = nullptr;

  // Port page.
  QFrame* Panel6 = nullptr;
  QLabel* Label16 = nullptr;
  QComboBox* cboPrinterModel = nullptr;
  QRadioButton* rbtnCOM = nullptr;
  QRadioButton* rbtnLPT = nullptr;
  QRadioButton* rbtnUsb = nullptr;
  QRadioButton* rbtnDriver = nullptr;
  QRadioButton* rbtnVirtual = nullptr;
  QGroupBox* gbCOM = nullptr;
  QComboBox* cboCom = nullptr;
  QComboBox* cboBaudrate = nullptr;
  QComboBox* cboDatabit = nullptr;
  QComboBox* cboStopbit = nullptr;
  QComboBox* cboVerify = nullptr;
  QComboBox* cboFlowControl = nullptr;
  QGroupBox* gbLPT = nullptr;
  QComboBox* cboLPT = nullptr;
  QGroupBox* gbUsb = nullptr;
  QComboBox* cboUsb = nullptr;
  QGroupBox* gbDriver = nullptr;
  QComboBox* cboPrinters = nullptr;
  QRadioButton* rbtnNetwork = nullptr;  // "网络打印机"
  QGroupBox* gbNetwork = nullptr;
  QLineEdit* edAddress = nullptr;  // "地址": host or address, optional :port
  QPushButton* sbtnApply = nullptr;
  QPushButton* sbtnCancel = nullptr;

  // Demo page.
  QGroupBox* GroupBox1 = nullptr;
  QPushButton* sbtnSample = nullptr;
  QPushButton* sbtnLogoBar = nullptr;
  QPushButton* sbtnTwoPart = nullptr;
  QPushButton* sbtnCleanReceipt = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QPushButton* sbtnATM = nullptr;
  QPushButton* sbtnAccount = nullptr;
  QPushButton* sbtnWideAcct = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QPushButton* sbtnDownloadFile = nullptr;
  QCheckBox* chkPrintToFile = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QLabel* Label12 = nullptr;
  QSpinBox* edPieces = nullptr;  // its arrows are UpDown1
  QPushButton* sbtnStart = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QRadioButton* rbtnFull = nullptr;
  QRadioButton* rbtnPart = nullptr;
  QRadioButton* rbtnNone = nullptr;
  QPushButton* sbtnReturn = nullptr;

  // Logo page.
  QGroupBox* GroupBoxLogo = nullptr;
  QLabel* Label13 = nullptr;
  QCheckBox* chkHorse = nullptr;
  QCheckBox* chkLion = nullptr;
  QCheckBox* chkMap = nullptr;
  QLabel* Label17 = nullptr;
  QCheckBox* chkDragon = nullptr;
  QFrame* PanelPreview = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* sbtnApplyDownload = nullptr;
  QPushButton* sbtnCancelDownload = nullptr;

  // The virtual printer's preview; null until it is first opened (by applying the
  // virtual printer, by its index-page button or by --virtual-printer).
  VirtualPrinterWindow* VirtualPreview() const { return virtual_preview_; }
  // Opens the preview beside the window; the link in force stays as it is.
  void OpenVirtualPreview();
  // What the command line asks of the shown window (--virtual-printer).
  void FollowCommandLine(const CommandLine& line);

  // Status bar.
  QFrame* StatusBarProcess = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label20 = nullptr;
  QLabel* Label19 = nullptr;
  // The paper state of the last passed communication test, over the first panel.
  QLabel* LabelPrinterState = nullptr;
  QTimer* Timer1 = nullptr;

  // Handlers.
  void FormCreate();
  void FormClose();
  void LoadModels();
  void UpdateClock();
  void ResetPortPage();
  void cboPrinterModelChange();
  void rbtnCOMClick();
  void rbtnLPTClick();
  void rbtnUsbClick();
  void rbtnDriverClick();
  void rbtnNetworkClick();
  void sbtnPrinterStatusClick();
  void rbtnVirtualClick();
  void sbtnApplyClick();
  void sbtnPortOptionClick();
  void sbtnDemoClick();
  void sbtnDownloadLogoClick();
  void sbtnClearErrorClick();
  void sbtnReturnClick();
  void sbtnCancelClick();
  void sbtnCancelDownloadClick();
  void sbtnApplyDownloadClick();
  void sbtnStartClick();
  void sbtnDownloadFileClick();
  void tbsDownloadLogoShow();
  void ShowLogoPreview(const char* file_name, int width, int height);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // What the demo page holds besides its controls.
  struct DemoState {
    Cutter cutter = Cutter::Full;
  };
  // What the logo page holds besides its controls: the point the preview picture is
  // centred on, the centre of its place when the page was last shown.
  struct LogoPreviewState {
    QPoint centre;
  };
  // What the port page knows of the system.
  struct PortState {
    bool usb_library_loaded = false;
  };
  // The window's life: whether its close has run, the status check in progress
  // (joined before the links close), and the message sink it replaced.
  struct LifeState {
    bool closed = false;
    StatusCheck* status_check = nullptr;
    MessageSink previous_sink;
  };

  void BuildWindow();
  void BuildHeader();
  void BuildIndexPage();
  void BuildPortPage();
  void BuildDemoPage();
  void BuildLogoPage();
  void BuildStatusBar();
  void ConnectHandlers();
  void ConnectIndexPage();
  void ConnectPortPage();
  void ConnectDemoPage();
  void ConnectLogoPage();
  void ConnectStatusBar();
  void SetIndexPrintingButtons(bool enabled);
  // The lists of the row of that link kind are usable, the other rows' are greyed.
  void SetPortListsEnabled(LinkKind kind);
  // As SetPortListsEnabled, and the groups of the rows follow their lists.
  void ChooseRow(LinkKind kind);
  void FillUsbList();
  void FillQueueList();
  LinkChoice ChosenLink() const;
  void ApplyLink();
  void ShowVirtualPreview();
  VirtualPrinterWindow* MakeVirtualPreview();
  // [Virtual] Profile= of the file read, into the virtual printer; and the operator's
  // choice back into the user's own Tillvane.ini.
  void ApplyVirtualProfile();
  void SaveVirtualProfile(render::Profile profile);

  std::string program_folder_;
  ModelConfig config_;
  ConfigChoice config_file_;
  QtDispatcher dispatcher_{this};
  DemoState demo_;
  LogoPreviewState logo_preview_;
  PortState port_;
  LifeState life_;
  VirtualPrinterWindow* virtual_preview_ = nullptr;
};

}  // namespace tillvane
