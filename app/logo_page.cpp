// The logo page: the four logos to download, three into RAM and one into flash, and a
// preview of the one last ticked or unticked.
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <array>

#include "app/form_kit.h"
#include "app/main_form.h"
#include "session/jobs.h"
#include "session/sender_gate.h"
#include "session/starters.h"

namespace tillvane {

using namespace form;

namespace {

// One logo of the page: its check box, what ticking it asks to download, and the
// picture previewed with its size in the preview.
struct LogoRow {
  QCheckBox* TMainForm::*box;
  bool jobs::LogoChoices::*choice;
  const char* file_name;
  int width;
  int height;
};

constexpr std::array<LogoRow, 4> kLogoRows = {{
    {&TMainForm::chkHorse, &jobs::LogoChoices::horse, "Horse.bmp", 100, 65},
    {&TMainForm::chkLion, &jobs::LogoChoices::lion, "lion.bmp", 123, 140},
    {&TMainForm::chkMap, &jobs::LogoChoices::map, "map.bmp", 185, 121},
    {&TMainForm::chkDragon, &jobs::LogoChoices::dragon, "dragon.bmp", 140, 210},
}};

}  // namespace

void TMainForm::BuildLogoPage() {
  tbsDownloadLogo = Named(new QWidget, "tbsDownloadLogo");
  PageControl1->addWidget(tbsDownloadLogo);
  auto* panel = MakePanel(tbsDownloadLogo, "Panel5", QFrame::Raised, QRect(8, 8, 669, 437));

  GroupBoxLogo = MakeGroup(panel, "GroupBox6", QString(), kNavy, QRect(40, 30, 250, 330));
  Label13 = MakeLabel(GroupBoxLogo, "Label13", tr("下载到RAM"), kPurple, 13, 24, 24);
  auto check = [&](const char* name, const QString& caption, int y) {
    auto* c = Named(new QCheckBox(caption, GroupBoxLogo), name);
    c->setFont(BoldFont(13));
    SetTextColour(c, kNavy);
    c->setGeometry(48, y, 160, 22);
    return c;
  };
  chkHorse = check("chkHorse", tr("马"), 56);
  chkLion = check("chkLion", tr("狮子"), 90);
  chkMap = check("chkMap", tr("地图"), 124);
  Label17 = MakeLabel(GroupBoxLogo, "Label17", tr("下载到FLASH"), kPurple, 13, 24, 190);
  chkDragon = check("chkDragon", tr("龙"), 222);

  PanelPreview = MakePanel(panel, "Panel7", QFrame::Sunken, QRect(330, 30, 260, 330));
  Image1 = Named(new QLabel(PanelPreview), "Image1");
  Image1->setScaledContents(true);
  Image1->setGeometry(76, 72, 105, 105);

  sbtnApplyDownload = MakeButton(panel, "sbtnApplyDownload", tr("确          定"), kPurple, 13,
                                 QRect(258, 378, 153, 40));
  sbtnCancelDownload = MakeButton(panel, "sbtnCancelDownload", tr("取          消"), kPurple, 13,
                                  QRect(446, 378, 153, 40));
}

void TMainForm::ConnectLogoPage() {
  // The preview follows each box's state however it changes: the mouse, the keyboard,
  // assistive technology.
  for (const LogoRow& row : kLogoRows) {
    connect(this->*row.box, &QCheckBox::toggled, this,
            [this, &row] { ShowLogoPreview(row.file_name, row.width, row.height); });
  }
  connect(sbtnCancelDownload, &QPushButton::clicked, this, &TMainForm::sbtnCancelDownloadClick);
  connect(sbtnApplyDownload, &QPushButton::clicked, this, &TMainForm::sbtnApplyDownloadClick);
  connect(PageControl1, &QStackedWidget::currentChanged, this, [this](int index) {
    if (PageControl1->widget(index) == tbsDownloadLogo) tbsDownloadLogoShow();
  });
}

void TMainForm::sbtnApplyDownloadClick() {
  // While another sender is active the download cannot start: the page stays.
  if (SendingInProgress()) return;
  jobs::LogoChoices choices;
  for (const LogoRow& row : kLogoRows) choices.*row.choice = (this->*row.box)->isChecked();
  PageControl1->setCurrentWidget(tbsMain);
  jobs::StartLogoDownload(dispatcher_, *this, choices, program_folder_);
}

void TMainForm::tbsDownloadLogoShow() {
  // Left plus half the width, not QRect::center(), which rounds down by one for an
  // even width.
  const QRect r = Image1->geometry();
  logo_preview_.centre = QPoint(r.left() + r.width() / 2, r.top() + r.height() / 2);
}

void TMainForm::ShowLogoPreview(const char* file_name, int width, int height) {
  Image1->setGeometry(logo_preview_.centre.x() - width / 2, logo_preview_.centre.y() - height / 2,
                      width, height);
  const QString path = FindFileNoCase(program_folder_, file_name);
  QImage picture;
  if (!picture.load(path)) {
    ShowOperatorMessage(
        QStringLiteral("Cannot open file \"%1\".").arg(QDir::toNativeSeparators(path)));
    return;
  }
  Image1->setPixmap(QPixmap::fromImage(picture));
}

}  // namespace tillvane
