#include "dialogs/archives/frmOpenArchive.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "archives/Databases.h"
#include "commands/OpenArchiveChecks.h"
#include "dialogs/archives/frmFolderBrowser.h"
#include "dialogs/widgets/DialogText.h"
#include "servers/Server.h"
#include "support/Error.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw {
namespace {

QLineEdit* PathBox(QWidget* parent, const char* name, QLabel* label) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setAccessibleName(label->text());
  box->setMinimumWidth(320);
  label->setBuddy(box);
  return box;
}

QPushButton* EllipsisButton(QWidget* parent, const char* name, const QString& accessible) {
  auto* button = new QPushButton("...", parent);
  button->setObjectName(name);
  button->setAccessibleName(accessible);
  button->setAutoDefault(false);
  button->setFixedWidth(32);
  return button;
}

}  // namespace

frmOpenArchive::frmOpenArchive(Databases& catalogue, QWidget* parent)
    : QDialog(parent), m_Catalogue(catalogue) {
  setObjectName("frmOpenArchive");
  setWindowTitle(ResText(160));
  auto* label2 = new QLabel(ResText(161), this);
  label2->setObjectName("Label2");
  m_txtDatabaseName = PathBox(this, "txtDatabaseName", label2);
  auto* label1 = new QLabel(ResText(162), this);
  label1->setObjectName("Label1");
  m_txtMDFFilename = PathBox(this, "txtMDFFilename", label1);
  m_cmdSelectMDF = EllipsisButton(this, "cmdSelectMDF", "Browse for the database file");
  auto* label3 = new QLabel(ResText(163), this);
  label3->setObjectName("Label3");
  m_txtLDFFilename = PathBox(this, "txtLDFFilename", label3);
  m_cmdSelectLDF = EllipsisButton(this, "cmdSelectLDF", "Browse for the log file");
  m_cmdOK = new QPushButton(ResText(90), this);
  m_cmdOK->setObjectName("cmdOK");
  m_cmdOK->setAccessibleName("OK");
  m_cmdOK->setDefault(true);
  m_cmdCancel = new QPushButton(ResText(91), this);
  m_cmdCancel->setObjectName("cmdCancel");
  m_cmdCancel->setAccessibleName("Cancel");
  m_cmdCancel->setAutoDefault(false);

  auto* grid = new QGridLayout;
  grid->addWidget(label2, 0, 0, 1, 2);
  grid->addWidget(m_txtDatabaseName, 1, 0);
  grid->addItem(new QSpacerItem(1, 8), 2, 0);
  grid->addWidget(label1, 3, 0, 1, 2);
  grid->addWidget(m_txtMDFFilename, 4, 0);
  grid->addWidget(m_cmdSelectMDF, 4, 1);
  grid->addItem(new QSpacerItem(1, 8), 5, 0);
  grid->addWidget(label3, 6, 0, 1, 2);
  grid->addWidget(m_txtLDFFilename, 7, 0);
  grid->addWidget(m_cmdSelectLDF, 7, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_cmdOK);
  buttons->addWidget(m_cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(m_cmdSelectMDF, &QPushButton::clicked, this,
          [this] { Browse(m_txtMDFFilename, 307, "mdf"); });
  connect(m_cmdSelectLDF, &QPushButton::clicked, this,
          [this] { Browse(m_txtLDFFilename, 308, "ldf"); });
  connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
  SetDialogFont(this);
}

void frmOpenArchive::Browse(QLineEdit* target, int captionId, const char* extension) {
  Server* server = m_Catalogue.GetServer();
  frmFolderBrowser browser(this);
  browser.SetServer(server);
  browser.SetFoldersOnly(false);
  browser.lblHeader()->setText(ResText(158, {server->Name()}));
  browser.setWindowTitle(ResText(captionId));
  browser.SetFileExtension(extension);
  browser.exec();
  // Cancel empties the box: the result is taken as it is.
  target->setText(ToQ(FolderBrowserResult()));
}

void frmOpenArchive::cmdOK_Click() {
  const std::string name = FromQ(m_txtDatabaseName->text());
  const std::string mdfPath = FromQ(m_txtMDFFilename->text());
  if (int message = commands::OpenArchiveChecks::Check(name, mdfPath); message != 0) {
    MsgBox(LoadResString(message), MsgStyle::Information);
    return;
  }
  QApplication::processEvents();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    m_Catalogue.Add(name, mdfPath, FromQ(m_txtLDFFilename->text()));
  } catch (const Error& error) {
    QApplication::restoreOverrideCursor();
    MsgBox(ErrorReport(157, error), MsgStyle::Critical);
    return;
  }
  QApplication::restoreOverrideCursor();
  accept();
}

}  // namespace bw
