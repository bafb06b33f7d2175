#include "app/virtual_printer_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/ini_file.h"
#include "config/virtual_config.h"
#include "link/virtual_link.h"
#include "render/png_file.h"

namespace tillvane {

namespace {

constexpr int kZooms[] = {50, 100, 200, 300, 400};
constexpr int kDefaultZoom = 100;
// The profiles as the operator sees them, by their names in render/profile.h.
struct ProfileCaption {
  std::string_view name;
  const char* caption;
};
constexpr ProfileCaption kProfileCaptions[] = {
    {"cn", QT_TRANSLATE_NOOP("tillvane::VirtualPrinterWindow", "中文 (GBK)")},
    {"intl", QT_TRANSLATE_NOOP("tillvane::VirtualPrinterWindow", "国际 (PC437)")},
};

QString CaptionOf(const render::ProfileInfo& p) {
  for (const ProfileCaption& c : kProfileCaptions)
    if (c.name == p.name)
      return QCoreApplication::translate("tillvane::VirtualPrinterWindow", c.caption);
  return QString::fromUtf8(p.name.data(), static_cast<int>(p.name.size()));
}

// Rows painted at a time: 512 dots by 64 rows stays under the size that Qt converts on
// several threads.
constexpr int kBandRows = 64;

// The rows of a bitmap as a 1-bit image: index 0 white paper, 1 a black dot. Both
// pack eight dots a byte with the leftmost in the top bit, so a row is one copy.
QImage ToImage(const render::Bitmap& dots) {
  QImage image(std::max(dots.width(), 1), dots.height(), QImage::Format_Mono);
  if (image.isNull()) return image;
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  image.fill(0);
  for (int y = 0; y < dots.height(); ++y)
    std::memcpy(image.scanLine(y), dots.Row(y), static_cast<size_t>(dots.stride()));
  return image;
}

// The marked line above a received job: a dashed row across the paper, broken by the
// job's number.
QImage SeparatorImage(int width, uint64_t number) {
  QImage grey(std::max(width, 1), VirtualPrinterWindow::kSeparatorRows, QImage::Format_Grayscale8);
  grey.fill(Qt::white);
  {
    QPainter painter(&grey);
    const int middle = grey.height() / 2;
    for (int x = 0; x < grey.width(); x += 12) painter.fillRect(x, middle - 1, 8, 3, Qt::black);
    QFont font = painter.font();
    font.setPixelSize(18);
    font.setBold(true);
    painter.setFont(font);
    const QString label = QStringLiteral(" #%1 ").arg(number);
    QRect box = painter.fontMetrics().boundingRect(label);
    box.moveCenter(grey.rect().center());
    painter.fillRect(box, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, label);
  }
  render::Bitmap dots(grey.width(), grey.height());
  for (int y = 0; y < grey.height(); ++y) {
    const uchar* row = grey.constScanLine(y);
    for (int x = 0; x < grey.width(); ++x)
      if (row[x] < 128) dots.Set(x, y);
  }
  return ToImage(dots);
}

// `image` as wide as the paper: cut, or widened with white.
QImage FitWidth(const QImage& image, int width) {
  if (image.isNull() || image.width() == width) return image;
  QImage fitted(width, image.height(), QImage::Format_Mono);
  fitted.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
  fitted.fill(0);
  const int bytes = static_cast<int>(std::min(fitted.bytesPerLine(), image.bytesPerLine()));
  const int keep = std::min(width, image.width());
  for (int y = 0; y < image.height(); ++y) {
    uchar* out = fitted.scanLine(y);
    std::memcpy(out, image.constScanLine(y), static_cast<size_t>(bytes));
    // Dots past the narrower width in the last byte copied go.
    if (keep % 8 != 0 && keep / 8 < bytes)
      out[keep / 8] &= static_cast<uchar>(0xFF00 >> (keep % 8));
    for (int b = (keep + 7) / 8; b < bytes; ++b) out[b] = 0;
  }
  return fitted;
}

QTableWidgetItem* Cell(const QString& text, bool number) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

}  // namespace

// The paper, drawn from the window's images at its zoom; only the rows in sight are
// scaled.
class PaperView : public QWidget {
 public:
  explicit PaperView(VirtualPrinterWindow* window) : QWidget(window), window_(window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    const double zoom = window_->Zoom() / 100.0;
    const QRect sight = event->rect();
    int top = 0;
    auto draw = [&](const QImage& image) {
      const int rows = image.height();
      if (rows == 0 || image.isNull()) return;
      const int first = std::max(0, static_cast<int>(sight.top() / zoom) - top - 1);
      const int last = std::min(rows, static_cast<int>(sight.bottom() / zoom) - top + 2);
      // In bands small enough that the painter converts each on this thread: a large
      // picture would be converted on Qt's pooled threads.
      for (int y = first; y < last; y += kBandRows) {
        const int n = std::min(kBandRows, last - y);
        const QRectF target(0, (top + y) * zoom, image.width() * zoom, n * zoom);
        painter.drawImage(target, image.copy(0, y, image.width(), n));
      }
      top += rows;
    };
    for (const auto& piece : window_->Pieces()) draw(*piece.image);
  }

 private:
  VirtualPrinterWindow* window_;
};

VirtualPrinterWindow::VirtualPrinterWindow(QWidget* owner, std::string settings_read,
                                           std::string settings_user)
    : QWidget(owner, Qt::Window),
      settings_read_(std::move(settings_read)),
      settings_user_(std::move(settings_user)) {
  setObjectName(QStringLiteral("VirtualPrinterWindow"));
  setWindowTitle(tr("Tillvane 虚拟打印机"));
  setAttribute(Qt::WA_QuitOnClose, false);

  auto* tools = new QHBoxLayout;
  auto* zoom_label = new QLabel(tr("缩放"), this);
  cboZoom = new QComboBox(this);
  cboZoom->setObjectName(QStringLiteral("cboZoom"));
  for (int z : kZooms) cboZoom->addItem(QStringLiteral("%1%").arg(z), z);
  cboZoom->setCurrentIndex(cboZoom->findData(kDefaultZoom));
  zoom_label->setBuddy(cboZoom);
  auto* profile_label = new QLabel(tr("字符配置"), this);
  cboProfile = new QComboBox(this);
  cboProfile->setObjectName(QStringLiteral("cboProfile"));
  for (const render::ProfileInfo& p : render::Profiles())
    cboProfile->addItem(CaptionOf(p), static_cast<int>(p.profile));
  profile_label->setBuddy(cboProfile);
  sbtnSavePicture = new QPushButton(tr("保存图片"), this);
  sbtnSavePicture->setObjectName(QStringLiteral("sbtnSavePicture"));
  sbtnClearPaper = new QPushButton(tr("清空"), this);
  sbtnClearPaper->setObjectName(QStringLiteral("sbtnClearPaper"));
  tools->addWidget(zoom_label);
  tools->addWidget(cboZoom);
  tools->addWidget(profile_label);
  tools->addWidget(cboProfile);
  tools->addStretch(1);
  tools->addWidget(sbtnSavePicture);
  tools->addWidget(sbtnClearPaper);

  auto* states = new QHBoxLayout;
  auto state = [&](const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(QString::fromLatin1(name));
    states->addWidget(box);
    connect(box, &QCheckBox::toggled, this, &VirtualPrinterWindow::StateChanged);
    return box;
  };
  chkPaperOut = state("chkPaperOut", tr("缺纸"));
  chkPaperNearEnd = state("chkPaperNearEnd", tr("纸将尽"));
  chkCoverOpen = state("chkCoverOpen", tr("纸仓盖打开"));
  chkOffline = state("chkOffline", tr("脱机"));
  states->addStretch(1);

  const VirtualConfig settings =
      settings_read_.empty() ? VirtualConfig{} : LoadVirtualConfig(IniFile::Load(settings_read_));
  auto* accept = new QHBoxLayout;
  chkAcceptJobs = new QCheckBox(tr("接收打印任务"), this);
  chkAcceptJobs->setObjectName(QStringLiteral("chkAcceptJobs"));
  auto* listen_label = new QLabel(tr("地址"), this);
  edListen = new QLineEdit(QString::fromStdString(settings.Listen), this);
  edListen->setObjectName(QStringLiteral("edListen"));
  edListen->setPlaceholderText(QString::fromLatin1(kDefaultVirtualListen));
  listen_label->setBuddy(edListen);
  auto* serial_label = new QLabel(tr("串口链接"), this);
  edSerial = new QLineEdit(QString::fromStdString(settings.Serial), this);
  edSerial->setObjectName(QStringLiteral("edSerial"));
  edSerial->setPlaceholderText(tr("无（例如 ~/.local/share/tillvane/ttyV0）"));
  serial_label->setBuddy(edSerial);
  accept->addWidget(chkAcceptJobs);
  accept->addWidget(listen_label);
  accept->addWidget(edListen, 1);
  accept->addWidget(serial_label);
  accept->addWidget(edSerial, 2);
  accept_on_show_ = settings.Accept;
  connect(chkAcceptJobs, &QCheckBox::toggled, this, &VirtualPrinterWindow::AcceptToggled);

  ScrollArea = new QScrollArea(this);
  ScrollArea->setObjectName(QStringLiteral("ScrollArea"));
  ScrollArea->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  ScrollArea->setBackgroundRole(QPalette::Dark);
  ScrollArea->setWidgetResizable(false);
  view_ = new PaperView(this);
  ScrollArea->setWidget(view_);

  JobList = new QTableWidget(0, kJobColumns, this);
  JobList->setObjectName(QStringLiteral("JobList"));
  JobList->setHorizontalHeaderLabels(
      {tr("时间"), tr("来源"), tr("字节"), tr("未知"), tr("未绘制"), tr("拒绝")});
  JobList->setSelectionBehavior(QAbstractItemView::SelectRows);
  JobList->setSelectionMode(QAbstractItemView::SingleSelection);
  JobList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  JobList->verticalHeader()->setVisible(false);
  JobList->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  JobList->horizontalHeader()->setStretchLastSection(true);
  JobList->setMinimumWidth(340);
  JobList->hide();  // until jobs are taken: the window keeps the paper's width till then
  connect(JobList, &QTableWidget::itemSelectionChanged, this, &VirtualPrinterWindow::JobSelected);
  auto* paper_and_jobs = new QHBoxLayout;
  paper_and_jobs->addWidget(ScrollArea, 1);
  paper_and_jobs->addWidget(JobList);

  StatusLine = new QLabel(this);
  StatusLine->setObjectName(QStringLiteral("StatusLine"));
  StatusLine->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tools);
  layout->addLayout(states);
  layout->addLayout(accept);
  layout->addLayout(paper_and_jobs, 1);
  layout->addWidget(StatusLine);

  connect(cboZoom, &QComboBox::currentIndexChanged, this, &VirtualPrinterWindow::ZoomChanged);
  ShowProfile();
  connect(cboProfile, &QComboBox::activated, this, &VirtualPrinterWindow::ProfileChanged);
  connect(sbtnSavePicture, &QPushButton::clicked, this, &VirtualPrinterWindow::SaveClicked);
  connect(sbtnClearPaper, &QPushButton::clicked, this, &VirtualPrinterWindow::ClearPaper);

  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, &VirtualPrinterWindow::Refresh);

  ShowCounts({});
  Relayout(false);
  // Wide enough for 80 mm paper at 100 %, its scroll bar and the frame.
  resize(render::kDots80mm + 60, 560);
}

VirtualPrinterWindow::~VirtualPrinterWindow() {
  receiver_.Stop();
}

void VirtualPrinterWindow::ShowBeside(const QWidget* beside) {
  Refresh();
  if (beside != nullptr && !isVisible()) {
    const QRect frame = beside->frameGeometry();
    QPoint at(frame.right() + 8, frame.top());
    if (const QScreen* screen = beside->screen()) {
      const QRect area = screen->availableGeometry();
      at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
      at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(at);
    resize(width(), std::max(height(), beside->height()));
  }
  show();
  raise();
}

void VirtualPrinterWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_->start();
  if (accept_on_show_ && !chkAcceptJobs->isChecked()) chkAcceptJobs->setChecked(true);
}

void VirtualPrinterWindow::closeEvent(QCloseEvent* event) {
  StopAccepting();
  QWidget::closeEvent(event);
}

void VirtualPrinterWindow::hideEvent(QHideEvent* event) {
  timer_->stop();
  QWidget::hideEvent(event);
}

int VirtualPrinterWindow::Zoom() const {
  const int z = cboZoom->currentData().toInt();
  return z > 0 ? z : kDefaultZoom;
}

void VirtualPrinterWindow::Refresh() {
  // The printer's pages first: a job that came after them goes under them.
  CopyPrinterPaper();
  TakeReceivedJobs();
}

void VirtualPrinterWindow::CopyPrinterPaper() {
  std::shared_ptr<render::VirtualPrinter> printer = VirtualPrinterOfLink();
  if (printer != printer_) {
    // A new printer (first opening, or paper of another width): blank paper, and the
    // state the boxes show.
    printer_ = std::move(printer);
    pages_.clear();
    for (ShownJob& job : jobs_) job.after_page = 0;
    current_ = QImage();
    have_version_ = false;
    StateChanged();
    ShowProfile();
  }
  if (!printer_) return;
  if (have_version_ && printer_->version() == version_) return;

  const render::VirtualPrinter::Snapshot shot = printer_->Take();
  version_ = shot.version;
  have_version_ = true;
  const int rows_before = PaperRows();

  // Pages already copied are kept by number; pages the printer let go are let go here.
  std::vector<ShownPage> pages;
  pages.reserve(shot.pages.size());
  size_t old = 0;
  for (const auto& page : shot.pages) {
    while (old < pages_.size() && pages_[old].number < page->number) ++old;
    if (old < pages_.size() && pages_[old].number == page->number) {
      pages.push_back(std::move(pages_[old++]));
    } else {
      pages.push_back({page->number, ToImage(page->dots)});
    }
  }
  pages_ = std::move(pages);
  current_ = ToImage(shot.current);
  width_ = shot.current.width() > 0 ? shot.current.width() : width_;
  FitJobsToWidth();
  ShowCounts(shot.report);
  Relayout(PaperRows() != rows_before);
}

void VirtualPrinterWindow::ShowCounts(const render::Report& report) {
  report_ = report;
  QString text = tr("页数: %1    已接收: %2 字节    未知字节: %3    未绘制: %4")
                     .arg(report.pages)
                     .arg(report.bytes)
                     .arg(report.unknown_bytes)
                     .arg(report.not_drawn);
  if (!accept_text_.isEmpty()) text += QStringLiteral("    ") + accept_text_;
  StatusLine->setText(text);
}

void VirtualPrinterWindow::Relayout(bool to_newest) {
  const double zoom = Zoom() / 100.0;
  const QSize size(std::max(1, static_cast<int>(width_ * zoom + 0.5)),
                   std::max(1, static_cast<int>(PaperRows() * zoom + 0.5)));
  if (view_->size() != size) view_->resize(size);
  view_->update();
  if (to_newest) {
    QScrollBar* bar = ScrollArea->verticalScrollBar();
    bar->setValue(bar->maximum());
  }
}

void VirtualPrinterWindow::ZoomChanged() {
  Relayout(true);
}

std::vector<VirtualPrinterWindow::Piece> VirtualPrinterWindow::Pieces() const {
  std::vector<Piece> pieces;
  pieces.reserve(pages_.size() + 2 * jobs_.size() + 1);
  size_t j = 0;
  auto job = [&] {
    pieces.push_back({&jobs_[j].separator, static_cast<int>(j)});
    if (!jobs_[j].image.isNull()) pieces.push_back({&jobs_[j].image, -1});
    ++j;
  };
  for (const auto& page : pages_) {
    while (j < jobs_.size() && jobs_[j].after_page < page.number) job();
    pieces.push_back({&page.image, -1});
  }
  while (j < jobs_.size()) job();
  if (!current_.isNull()) pieces.push_back({&current_, -1});
  return pieces;
}

int VirtualPrinterWindow::PaperRows() const {
  int rows = 0;
  for (const auto& piece : Pieces()) rows += piece.image->height();
  return rows;
}

int VirtualPrinterWindow::JobTop(int row) const {
  int top = 0;
  for (const auto& piece : Pieces()) {
    if (piece.job == row) return top;
    top += piece.image->height();
  }
  return -1;
}

render::Bitmap VirtualPrinterWindow::Paper() const {
  render::Bitmap paper(width_, PaperRows());
  int y = 0;
  for (const auto& piece : Pieces()) {
    const QImage& image = *piece.image;
    const size_t bytes =
        std::min(static_cast<size_t>(paper.stride()), static_cast<size_t>(image.bytesPerLine()));
    for (int r = 0; r < image.height(); ++r, ++y)
      std::memcpy(paper.Row(y), image.constScanLine(r), bytes);
  }
  return paper;
}

bool VirtualPrinterWindow::SavePicture(const QString& path, QString* error) const {
  const int rows = PaperRows();
  if (rows == 0) {
    if (error) *error = tr("纸上还没有内容");
    return false;
  }
  std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
  if (out == nullptr) {
    if (error) *error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  // The rows straight from the images shown, page after page.
  std::vector<const QImage*> images;
  for (const auto& piece : Pieces())
    if (piece.image->height() > 0) images.push_back(piece.image);
  size_t at = 0;
  int top = 0;
  std::string why;
  bool ok = render::WritePngRows(
      out, width_, rows,
      [&](int y) -> const uint8_t* {
        while (at + 1 < images.size() && y >= top + images[at]->height()) {
          top += images[at]->height();
          ++at;
        }
        return images[at]->constScanLine(y - top);
      },
      &why);
  if (std::fclose(out) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) {
    std::remove(QFile::encodeName(path).constData());
    if (error) *error = path + QStringLiteral(": ") + QString::fromStdString(why);
  }
  return ok;
}

void VirtualPrinterWindow::SaveClicked() {
  QFileDialog dialog(this, tr("保存图片"));
  dialog.setObjectName(QStringLiteral("SavePictureDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(tr("PNG 图片 (*.png)"));
  dialog.setDefaultSuffix(QStringLiteral("png"));
  dialog.selectFile(QStringLiteral("paper.png"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString error;
  if (!SavePicture(dialog.selectedFiles().front(), &error)) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), tr("图片未能保存。"), QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("SavePictureFailed"));
    box.setDetailedText(error);
    box.exec();
  }
}

void VirtualPrinterWindow::ClearPaper() {
  if (printer_) printer_->ClearPaper();
  pages_.clear();
  jobs_.clear();
  JobList->setRowCount(0);
  current_ = QImage();
  have_version_ = false;
  Refresh();
  Relayout(false);
}

void VirtualPrinterWindow::ShowProfile() {
  const int i = cboProfile->findData(static_cast<int>(VirtualProfile()));
  if (i >= 0) cboProfile->setCurrentIndex(i);
}

void VirtualPrinterWindow::ProfileChanged() {
  const auto profile = static_cast<render::Profile>(cboProfile->currentData().toInt());
  SetVirtualProfile(profile);
  if (ProfileChosen) ProfileChosen(profile);
}

void VirtualPrinterWindow::StateChanged() {
  render::PrinterStatus status;
  status.paper_out = chkPaperOut->isChecked();
  status.paper_near_end = chkPaperNearEnd->isChecked();
  status.cover_open = chkCoverOpen->isChecked();
  status.offline = chkOffline->isChecked();
  if (printer_) printer_->SetStatus(status);
  // The received jobs' printer too: a client with automatic status back hears of it.
  receiver_.SetStatus(status);
}

QString VirtualPrinterWindow::ListeningOn() const {
  return QString::fromStdString(receiver_.address());
}

void VirtualPrinterWindow::AcceptToggled(bool on) {
  if (settling_) return;
  if (!on) {
    receiver_.Stop();
    TakeReceivedJobs();
    edListen->setEnabled(true);
    edSerial->setEnabled(true);
    accept_on_show_ = false;
    QString error;
    accept_text_ = SaveSettings(false, &error) ? QString() : error;
    ShowCounts(report_);
    return;
  }
  VirtualConfig config;
  config.Accept = true;
  config.Listen = edListen->text().trimmed().toStdString();
  config.Serial = edSerial->text().trimmed().toStdString();
  if (config.Listen.empty()) config.Listen = kDefaultVirtualListen;
  std::string why = VirtualConfigProblem(config);
  ReceiverSettings settings;
  settings.listen = config.Listen;
  settings.serial = config.Serial;
  settings.paper_dots = width_;
  settings.status.paper_out = chkPaperOut->isChecked();
  settings.status.paper_near_end = chkPaperNearEnd->isChecked();
  settings.status.cover_open = chkCoverOpen->isChecked();
  settings.status.offline = chkOffline->isChecked();
  if (why.empty() && receiver_.Start(settings, &why)) {
    if (JobList->isHidden()) {
      // The list goes beside the paper, the window wider by as much.
      JobList->show();
      resize(width() + JobList->minimumWidth() + 8, height());
    }
    edListen->setEnabled(false);
    edSerial->setEnabled(false);
    accept_on_show_ = true;
    accept_text_ = tr("正在接收打印任务：%1").arg(QString::fromStdString(receiver_.address()));
    if (!receiver_.serial_link().empty())
      accept_text_ += tr("，串口链接 %1").arg(QString::fromStdString(receiver_.serial_link()));
    QString error;
    if (!SaveSettings(true, &error)) accept_text_ += QStringLiteral("    ") + error;
  } else {
    // The box goes back off; the setting stays as it was.
    settling_ = true;
    chkAcceptJobs->setChecked(false);
    settling_ = false;
    accept_on_show_ = false;
    accept_text_ = tr("接收打印任务未能开始：%1").arg(QString::fromStdString(why));
  }
  ShowCounts(report_);
}

void VirtualPrinterWindow::StopAccepting() {
  receiver_.Stop();
  TakeReceivedJobs();  // the job stopped short is listed too
  settling_ = true;
  chkAcceptJobs->setChecked(false);
  settling_ = false;
  edListen->setEnabled(true);
  edSerial->setEnabled(true);
  if (!accept_text_.isEmpty()) {
    accept_text_.clear();
    ShowCounts(report_);
  }
}

bool VirtualPrinterWindow::SaveSettings(bool accept, QString* error) {
  if (settings_user_.empty()) return true;  // nowhere to keep them: nothing to say
  VirtualConfig config;
  config.Accept = accept;
  config.Listen = edListen->text().trimmed().toStdString();
  config.Serial = edSerial->text().trimmed().toStdString();
  if (config.Listen.empty()) config.Listen = kDefaultVirtualListen;
  std::string why;
  if (SaveVirtualConfig(settings_user_, settings_read_, config, &why)) return true;
  if (error) *error = tr("设置未能保存：%1").arg(QString::fromStdString(why));
  return false;
}

void VirtualPrinterWindow::TakeReceivedJobs() {
  const std::vector<std::string> errors = receiver_.TakeErrors();
  if (!errors.empty()) {
    accept_text_ = tr("打印任务：%1").arg(QString::fromStdString(errors.back()));
    ShowCounts(report_);
  }
  std::vector<ReceivedJob> jobs = receiver_.TakeJobs();
  if (jobs.empty()) return;
  for (const ReceivedJob& job : jobs) AddJob(job);
  Relayout(true);
}

void VirtualPrinterWindow::AddJob(const ReceivedJob& job) {
  ShownJob shown;
  shown.number = job.number;
  shown.after_page = pages_.empty() ? 0 : pages_.back().number;
  shown.separator = SeparatorImage(width_, job.number);
  if (job.paper.height() > 0) shown.image = FitWidth(ToImage(job.paper), width_);
  jobs_.push_back(std::move(shown));

  const int row = JobList->rowCount();
  JobList->insertRow(row);
  const QDateTime start = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(job.start.time_since_epoch()).count());
  QTableWidgetItem* time = Cell(start.toString(QStringLiteral("HH:mm:ss")), false);
  time->setToolTip(tr("任务 %1，结束于：%2%3")
                       .arg(job.number)
                       .arg(QString::fromStdString(job.ended_by))
                       .arg(job.too_long ? tr("（太长，未显示在纸上）") : QString()));
  JobList->setItem(row, kTimeColumn, time);
  JobList->setItem(row, kSourceColumn, Cell(QString::fromStdString(job.source), false));
  JobList->setItem(row, kBytesColumn, Cell(QString::number(job.bytes), true));
  JobList->setItem(row, kUnknownColumn, Cell(QString::number(job.unknown_bytes), true));
  JobList->setItem(row, kNotDrawnColumn, Cell(QString::number(job.not_drawn), true));
  JobList->setItem(row, kRefusedColumn, Cell(QString::number(job.refused), true));
}

void VirtualPrinterWindow::FitJobsToWidth() {
  for (ShownJob& job : jobs_) {
    if (!job.image.isNull()) job.image = FitWidth(job.image, width_);
    if (job.separator.width() != width_) job.separator = SeparatorImage(width_, job.number);
  }
}

void VirtualPrinterWindow::JobSelected() {
  const auto rows = JobList->selectionModel()->selectedRows();
  if (rows.isEmpty()) return;
  const int top = JobTop(rows.front().row());
  if (top < 0) return;
  QScrollBar* bar = ScrollArea->verticalScrollBar();
  bar->setValue(static_cast<int>(top * (Zoom() / 100.0)));
}

}  // namespace tillvane
