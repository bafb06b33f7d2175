#include "app/virtual_printer_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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
    for (const auto& page : window_->pages_) draw(page.image);
    draw(window_->current_);
  }

 private:
  VirtualPrinterWindow* window_;
};

VirtualPrinterWindow::VirtualPrinterWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
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

  ScrollArea = new QScrollArea(this);
  ScrollArea->setObjectName(QStringLiteral("ScrollArea"));
  ScrollArea->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  ScrollArea->setBackgroundRole(QPalette::Dark);
  ScrollArea->setWidgetResizable(false);
  view_ = new PaperView(this);
  ScrollArea->setWidget(view_);

  StatusLine = new QLabel(this);
  StatusLine->setObjectName(QStringLiteral("StatusLine"));
  StatusLine->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tools);
  layout->addLayout(states);
  layout->addWidget(ScrollArea, 1);
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

VirtualPrinterWindow::~VirtualPrinterWindow() = default;

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
  std::shared_ptr<render::VirtualPrinter> printer = VirtualPrinterOfLink();
  if (printer != printer_) {
    // A new printer (first opening, or paper of another width): blank paper, and the
    // state the boxes show.
    printer_ = std::move(printer);
    pages_.clear();
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
  ShowCounts(shot.report);
  Relayout(PaperRows() != rows_before);
}

void VirtualPrinterWindow::ShowCounts(const render::Report& report) {
  StatusLine->setText(tr("页数: %1    已接收: %2 字节    未知字节: %3")
                          .arg(report.pages)
                          .arg(report.bytes)
                          .arg(report.unknown_bytes));
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

int VirtualPrinterWindow::PaperRows() const {
  int rows = current_.isNull() ? 0 : current_.height();
  for (const auto& page : pages_) rows += page.image.height();
  return rows;
}

render::Bitmap VirtualPrinterWindow::Paper() const {
  render::Bitmap paper(width_, PaperRows());
  int y = 0;
  auto put = [&](const QImage& image) {
    if (image.isNull()) return;
    for (int r = 0; r < image.height(); ++r, ++y)
      std::memcpy(paper.Row(y), image.constScanLine(r), static_cast<size_t>(paper.stride()));
  };
  for (const auto& page : pages_) put(page.image);
  put(current_);
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
  for (const auto& page : pages_) images.push_back(&page.image);
  if (!current_.isNull()) images.push_back(&current_);
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
  if (!printer_) return;
  render::PrinterStatus status;
  status.paper_out = chkPaperOut->isChecked();
  status.paper_near_end = chkPaperNearEnd->isChecked();
  status.cover_open = chkCoverOpen->isChecked();
  status.offline = chkOffline->isChecked();
  printer_->SetStatus(status);
}

}  // namespace tillvane
