#include "dialogs/archives/frmNewArchiveWizard.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "archives/Databases.h"
#include "commands/NewArchiveChecks.h"
#include "dialogs/archives/frmFolderBrowser.h"
#include "dialogs/widgets/DialogText.h"
#include "servers/Server.h"
#include "support/Error.h"
#include "support/MessageService.h"

namespace bw {
namespace {

constexpr int kBalloonStyle = cTooltips::kAlwaysTip | cTooltips::kBalloon;  // 65
constexpr int kBalloonTool = cTooltips::kTrack | cTooltips::kAbsolute;      // 160
constexpr int kWarningIcon = 2;

// The space key never reaches the name box: an archive name has no blanks.
class DiscardSpace : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
      return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

// Taller than any page: the label shows its top and cuts the rest.
QPixmap BigPicture() {
  QPixmap picture(150, 800);
  QPainter painter(&picture);
  QLinearGradient gradient(0, 0, 0, 400);
  gradient.setColorAt(0, QColor(0x1f, 0x3a, 0x5f));
  gradient.setColorAt(1, QColor(0x3b, 0x7d, 0x8c));
  painter.fillRect(picture.rect(), gradient);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(255, 255, 255, 200), 2));
  painter.setBrush(QColor(255, 255, 255, 40));
  // A stack of three archive drawers.
  for (int i = 0; i < 3; ++i) {
    const QRect drawer(35, 70 + i * 42, 80, 36);
    painter.drawRoundedRect(drawer, 4, 4);
    painter.drawLine(drawer.center().x() - 12, drawer.top() + 12, drawer.center().x() + 12,
                     drawer.top() + 12);
  }
  return picture;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, bool wrap = true) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(wrap);
  return label;
}

// The white band at the top of pages 2 and 3: a bold heading and its
// explanation, a line below.
QWidget* HeaderBand(QWidget* page, QLabel* heading, QLabel* explanation) {
  auto* band = new QWidget(page);
  band->setAutoFillBackground(true);
  QPalette palette = band->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Base));
  band->setPalette(palette);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  auto* layout = new QVBoxLayout(band);
  layout->setContentsMargins(16, 10, 16, 10);
  layout->addWidget(heading);
  explanation->setContentsMargins(16, 0, 0, 0);
  layout->addWidget(explanation);
  return band;
}

QFrame* Line(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

frmNewArchiveWizard::frmNewArchiveWizard(Databases& catalogue, QWidget* parent)
    : QDialog(parent), m_Catalogue(catalogue) {
  setObjectName("frmNewArchiveWizard");
  setWindowTitle(ResText(138));
  BuildPages();

  SetDialogFont(this);
  QFont arial = m_lblWillkommen->font();
  arial.setFamily("Arial");
  arial.setPointSizeF(arial.pointSizeF() * 1.5);
  arial.setBold(true);
  m_lblWillkommen->setFont(arial);

  m_Tooltips.Create(this, kBalloonStyle);
  m_Tooltips.AddTool(m_txtArchiveName, kBalloonTool);
  m_Tooltips.SetIcon(kWarningIcon);
  m_tmrTooltipRemoveCheck = new BalloonWait([this] { HideWarning(); }, this);
  ShowPage(1);
}

frmNewArchiveWizard::~frmNewArchiveWizard() = default;

void frmNewArchiveWizard::BuildPages() {
  m_Pages = new QStackedWidget(this);

  m_pic1 = new QWidget(m_Pages);
  m_pic1->setObjectName("pic1");
  m_pic1->setAutoFillBackground(true);
  QPalette white = m_pic1->palette();
  white.setColor(QPalette::Window, white.color(QPalette::Base));
  m_pic1->setPalette(white);
  m_imgBigPicture = new QLabel(m_pic1);
  m_imgBigPicture->setObjectName("imgBigPicture");
  m_imgBigPicture->setPixmap(BigPicture());
  m_imgBigPicture->setAlignment(Qt::AlignTop);
  m_imgBigPicture->setMinimumSize(150, 1);
  m_imgBigPicture->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
  m_lblWillkommen = MakeLabel(m_pic1, "lblWillkommen", ResText(304));
  m_Label10 = MakeLabel(m_pic1, "Label10", ResText(142));
  m_Label11 = MakeLabel(m_pic1, "Label11", ResText(143));
  auto* welcomeText = new QVBoxLayout;
  welcomeText->setContentsMargins(12, 16, 16, 16);
  welcomeText->setSpacing(14);
  welcomeText->addWidget(m_lblWillkommen);
  welcomeText->addWidget(m_Label10);
  welcomeText->addStretch();
  welcomeText->addWidget(m_Label11);
  auto* welcome = new QHBoxLayout(m_pic1);
  welcome->setContentsMargins(0, 0, 0, 0);
  welcome->addWidget(m_imgBigPicture);
  welcome->addLayout(welcomeText, 1);

  m_pic2 = new QWidget(m_Pages);
  m_pic2->setObjectName("pic2");
  m_Label19 = MakeLabel(m_pic2, "Label19", ResText(144));
  m_lblHeaderExplanation1 = MakeLabel(m_pic2, "lblHeaderExplanation1", ResText(145));
  m_Label20 = MakeLabel(m_pic2, "Label20", ResText(147));
  m_txtArchiveName = new QLineEdit(m_pic2);
  m_txtArchiveName->setObjectName("txtArchiveName");
  m_txtArchiveName->setAccessibleName(m_Label20->text());
  m_txtArchiveName->setMaxLength(100);
  m_txtArchiveName->installEventFilter(new DiscardSpace(m_txtArchiveName));
  m_Label20->setBuddy(m_txtArchiveName);
  m_lblDescriptionArchiveName = MakeLabel(m_pic2, "lblDescriptionArchiveName", ResText(149));
  auto* namePage = new QVBoxLayout(m_pic2);
  namePage->setContentsMargins(0, 0, 0, 0);
  namePage->addWidget(HeaderBand(m_pic2, m_Label19, m_lblHeaderExplanation1));
  namePage->addWidget(Line(m_pic2));
  auto* nameBody = new QVBoxLayout;
  nameBody->setContentsMargins(40, 16, 40, 16);
  nameBody->addWidget(m_Label20);
  nameBody->addWidget(m_txtArchiveName);
  nameBody->addSpacing(8);
  nameBody->addWidget(m_lblDescriptionArchiveName);
  nameBody->addStretch();
  namePage->addLayout(nameBody, 1);

  m_pic3 = new QWidget(m_Pages);
  m_pic3->setObjectName("pic3");
  m_Label6 = MakeLabel(m_pic3, "Label6", ResText(148));
  m_lblHeaderExplanation2 = MakeLabel(m_pic3, "lblHeaderExplanation2", ResText(146));
  m_Label7 = MakeLabel(m_pic3, "Label7", QString());
  m_Label4 = MakeLabel(m_pic3, "Label4", QString());
  m_txtArchivePath = new QLineEdit(m_pic3);
  m_txtArchivePath->setObjectName("txtArchivePath");
  m_Label4->setBuddy(m_txtArchivePath);
  m_cmdDurchsuchenZielordner = new QPushButton(ResText(139), m_pic3);
  m_cmdDurchsuchenZielordner->setObjectName("cmdDurchsuchenZielordner");
  m_cmdDurchsuchenZielordner->setAccessibleName("Browse");
  m_cmdDurchsuchenZielordner->setAutoDefault(false);
  auto* filePage = new QVBoxLayout(m_pic3);
  filePage->setContentsMargins(0, 0, 0, 0);
  filePage->addWidget(HeaderBand(m_pic3, m_Label6, m_lblHeaderExplanation2));
  filePage->addWidget(Line(m_pic3));
  auto* fileBody = new QVBoxLayout;
  fileBody->setContentsMargins(40, 16, 40, 16);
  fileBody->addWidget(m_Label7);
  fileBody->addSpacing(8);
  fileBody->addWidget(m_Label4);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(m_txtArchivePath, 1);
  pathRow->addWidget(m_cmdDurchsuchenZielordner);
  fileBody->addLayout(pathRow);
  fileBody->addStretch();
  filePage->addLayout(fileBody, 1);

  m_Pages->addWidget(m_pic1);
  m_Pages->addWidget(m_pic2);
  m_Pages->addWidget(m_pic3);

  m_cmdZur_ck = new QPushButton(ResText(141), this);
  m_cmdZur_ck->setObjectName("cmdZur_ck");
  m_cmdZur_ck->setAccessibleName("Back");
  m_cmdWeiter = new QPushButton(ResText(140), this);
  m_cmdWeiter->setObjectName("cmdWeiter");
  m_cmdWeiter->setAccessibleName("Next");
  m_cmdWeiter->setDefault(true);
  m_cmdAbbrechen = new QPushButton(ResText(91), this);
  m_cmdAbbrechen->setObjectName("cmdAbbrechen");
  m_cmdAbbrechen->setAccessibleName("Cancel");
  for (QPushButton* button : {m_cmdZur_ck, m_cmdAbbrechen}) button->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(12, 10, 12, 12);
  buttons->addStretch();
  buttons->addWidget(m_cmdZur_ck);
  buttons->addWidget(m_cmdWeiter);
  buttons->addSpacing(10);
  buttons->addWidget(m_cmdAbbrechen);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_Pages, 1);
  layout->addWidget(Line(this));
  layout->addLayout(buttons);
  setMinimumSize(520, 380);

  setTabOrder(m_txtArchiveName, m_txtArchivePath);
  setTabOrder(m_txtArchivePath, m_cmdDurchsuchenZielordner);
  setTabOrder(m_cmdDurchsuchenZielordner, m_cmdZur_ck);
  setTabOrder(m_cmdZur_ck, m_cmdWeiter);
  setTabOrder(m_cmdWeiter, m_cmdAbbrechen);

  connect(m_cmdWeiter, &QPushButton::clicked, this, [this] { cmdWeiter_Click(); });
  connect(m_cmdZur_ck, &QPushButton::clicked, this, [this] { cmdZur_ck_Click(); });
  connect(m_cmdAbbrechen, &QPushButton::clicked, this, [this] { cmdAbbrechen_Click(); });
  connect(m_cmdDurchsuchenZielordner, &QPushButton::clicked, this,
          [this] { cmdDurchsuchenZielordner_Click(); });
}

void frmNewArchiveWizard::ShowPage(int page) {
  m_Page = page;
  m_Pages->setCurrentWidget(page == 2 ? m_pic2 : page == 3 ? m_pic3 : m_pic1);
  m_cmdZur_ck->setEnabled(page == 2 || page == 3);
}

QLineEdit* frmNewArchiveWizard::CurrentTextBox() const {
  return m_Page == 3 ? m_txtArchivePath : m_txtArchiveName;
}

void frmNewArchiveWizard::ShowWarning(int titleId, int textId) {
  // The stem points into the text box of the page showing.
  QLineEdit* box = CurrentTextBox();
  const QPoint anchor = box->mapToGlobal(QPoint(50, 15));
  m_Tooltips.SetTitle(titleId == 0 ? QStringLiteral(" ") : ResText(titleId));
  m_Tooltips.SetTipText(m_txtArchiveName, ResText(textId));
  m_Tooltips.SetTrackPosition(m_txtArchiveName, anchor.x(), anchor.y());
  m_Tooltips.SetTracking(m_txtArchiveName, true);
  raise();
  activateWindow();
  m_tmrTooltipRemoveCheck->Start(700);
  box->setFocus();
}

void frmNewArchiveWizard::HideWarning() {
  m_Tooltips.SetTracking(m_txtArchiveName, false);
}

void frmNewArchiveWizard::cmdWeiter_Click() {
  try {
    switch (m_Page) {
      case 1:
        ShowPage(2);
        m_txtArchiveName->selectAll();
        m_txtArchiveName->setFocus();
        break;
      case 2:
        if (CheckName()) {
          const std::string serverName = m_Catalogue.GetServer()->Name();
          m_Label7->setText(ResText(128, {serverName}));
          m_Label4->setText(ResText(129, {serverName}));
          ShowPage(3);
          m_txtArchivePath->setFocus();
        }
        break;
      case 3: {
        const std::string path =
            commands::NewArchiveChecks::CompletePath(FromQ(m_txtArchivePath->text()));
        if (!path.empty()) m_txtArchivePath->setText(ToQ(path));
        bool exists = false;
        if (commands::NewArchiveChecks::CheckPath(path, false).Passed()) {
          std::error_code ignored;
          exists = (std::filesystem::exists(path, ignored) &&
                    !std::filesystem::is_directory(path, ignored)) ||
                   commands::NewArchiveChecks::ServerFileExists(
                       m_Catalogue.GetServer()->GetConnection(), path);
        }
        const commands::BalloonText check = commands::NewArchiveChecks::CheckPath(path, exists);
        if (!check.Passed()) {
          ShowWarning(check.titleId, check.textId);
          break;
        }
        m_ArchivePath = path;
        CreateArchive();
        break;
      }
      default:
        accept();
        break;
    }
  } catch (const Error& error) {
    QApplication::restoreOverrideCursor();
    MsgBox(ErrorReport(137, error), MsgStyle::Information);
    if (m_Page == 3) RestorePage3();
  }
}

bool frmNewArchiveWizard::CheckName() {
  std::vector<std::string> names;
  for (Database* archive : m_Catalogue.NewEnum()) names.push_back(archive->Name());
  const commands::BalloonText check = commands::NewArchiveChecks::CheckName(
      FromQ(m_txtArchiveName->text()), m_Catalogue.GetServer()->ProductVersion(), names,
      m_ArchiveName);
  if (check.Passed()) return true;
  if (check.selectAll) m_txtArchiveName->selectAll();
  ShowWarning(check.titleId, check.textId);
  return false;
}

void frmNewArchiveWizard::CreateArchive() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_lblHeaderExplanation2->hide();
  m_Label6->setText(ResText(132));
  m_Label7->setText(ResText(133));
  for (QWidget* widget : {static_cast<QWidget*>(m_Label4), static_cast<QWidget*>(m_txtArchivePath),
                          static_cast<QWidget*>(m_cmdDurchsuchenZielordner)}) {
    widget->hide();
  }
  for (QPushButton* button : {m_cmdZur_ck, m_cmdAbbrechen, m_cmdWeiter}) button->setEnabled(false);
  QApplication::processEvents();

  // A failed creation has been reported by the catalogue (137); the page is
  // made usable again for a second try.
  Database* created = m_Catalogue.AddNew(m_ArchiveName, m_ArchivePath);
  QApplication::restoreOverrideCursor();
  if (created == nullptr) {
    RestorePage3();
    return;
  }
  m_lblWillkommen->setText(ResText(134));
  m_Label10->setText(ResText(135, {m_ArchiveName}));
  m_Label11->hide();
  ShowPage(4);
  m_cmdWeiter->setEnabled(true);
  m_cmdWeiter->setText(ResText(136));
  m_cmdWeiter->setAccessibleName("Close");
  m_cmdWeiter->setFocus();
}

void frmNewArchiveWizard::RestorePage3() {
  m_Label7->setText(ResText(128, {m_Catalogue.GetServer()->Name()}));
  for (QWidget* widget :
       {static_cast<QWidget*>(m_Label4), static_cast<QWidget*>(m_lblHeaderExplanation2),
        static_cast<QWidget*>(m_txtArchivePath),
        static_cast<QWidget*>(m_cmdDurchsuchenZielordner)}) {
    widget->show();
  }
  ShowPage(3);
  for (QPushButton* button : {m_cmdZur_ck, m_cmdAbbrechen, m_cmdWeiter}) button->setEnabled(true);
  m_txtArchivePath->setFocus();
}

void frmNewArchiveWizard::cmdZur_ck_Click() {
  if (m_Page == 2) {
    ShowPage(1);
    m_cmdWeiter->setFocus();
  } else if (m_Page == 3) {
    ShowPage(2);
    m_txtArchiveName->selectAll();
    m_txtArchiveName->setFocus();
  }
}

void frmNewArchiveWizard::cmdAbbrechen_Click() {
  // The click that dismisses a waiting balloon does only that.
  if (m_tmrTooltipRemoveCheck->IsWaiting()) return;
  QDialog::reject();
}

void frmNewArchiveWizard::reject() {
  if (m_Page == 4) {
    accept();
  } else if (m_cmdAbbrechen->isEnabled()) {
    cmdAbbrechen_Click();
  }
}

void frmNewArchiveWizard::cmdDurchsuchenZielordner_Click() {
  Server* server = m_Catalogue.GetServer();
  frmFolderBrowser browser(this);
  browser.SetServer(server);
  browser.lblHeader()->setText(ResText(123, {server->Name()}));
  browser.setWindowTitle(ResText(95));
  browser.SetFoldersOnly(true);
  browser.exec();
  if (!FolderBrowserResult().empty()) {
    m_txtArchivePath->setText(
        ToQ(commands::NewArchiveChecks::BrowsedPath(FolderBrowserResult(), m_ArchiveName)));
    m_txtArchivePath->setFocus();
  }
}

}  // namespace bw
