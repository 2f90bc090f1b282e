#include "dialogs/archives/frmFolderBrowser.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialogs/widgets/DialogText.h"
#include "servers/Server.h"
#include "support/Error.h"
#include "support/MessageService.h"

namespace bw {
namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kPlaceholderRole = Qt::UserRole + 1;

QIcon IconOf(commands::FolderIcon icon) {
  QStyle* style = QApplication::style();
  switch (icon) {
    case commands::FolderIcon::Drive:
      return style->standardIcon(QStyle::SP_DriveHDIcon);
    case commands::FolderIcon::Folder:
      return style->standardIcon(QStyle::SP_DirIcon);
    default:
      return style->standardIcon(QStyle::SP_FileIcon);
  }
}

bool IsPlaceholder(QTreeWidgetItem* item) {
  return item != nullptr && item->data(0, kPlaceholderRole).toBool();
}

}  // namespace

std::string& FolderBrowserResult() {
  static std::string result;
  return result;
}

frmFolderBrowser::frmFolderBrowser(QWidget* parent) : QDialog(parent) {
  setObjectName("frmFolderBrowser");
  setWindowTitle(ResText(95));
  m_lblHeader = new QLabel(this);
  m_lblHeader->setObjectName("lblHeader");
  m_lblHeader->setWordWrap(true);
  m_TreeView1 = new QTreeWidget(this);
  m_TreeView1->setObjectName("TreeView1");
  m_TreeView1->setAccessibleName("Folders");
  m_TreeView1->setHeaderHidden(true);
  m_TreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_TreeView1->setMinimumSize(340, 300);
  m_lblHeader->setBuddy(m_TreeView1);
  m_cmdOK = new QPushButton(ResText(90), this);
  m_cmdOK->setObjectName("cmdOK");
  m_cmdOK->setAccessibleName("OK");
  m_cmdOK->setDefault(true);
  m_cmdCancel = new QPushButton(ResText(91), this);
  m_cmdCancel->setObjectName("cmdCancel");
  m_cmdCancel->setAccessibleName("Cancel");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_cmdOK);
  buttons->addWidget(m_cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_lblHeader);
  layout->addWidget(m_TreeView1, 1);
  layout->addLayout(buttons);

  connect(m_TreeView1, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { Expand(item); });
  connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
  SetDialogFont(this);
}

frmFolderBrowser::~frmFolderBrowser() = default;

void frmFolderBrowser::SetServer(Server* server) {
  m_Server = server;
  m_Model.reset();
  if (server != nullptr)
    m_Model = std::make_unique<commands::FolderBrowserModel>(server->GetConnection());
}

void frmFolderBrowser::SetFoldersOnly(bool foldersOnly) {
  m_FoldersOnly = foldersOnly;
}

void frmFolderBrowser::SetFileExtension(const std::string& extension) {
  m_FileExtension = extension;
}

void frmFolderBrowser::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_Filled) {
    m_Filled = true;
    FillDrives();
  }
}

void frmFolderBrowser::FillDrives() {
  if (!m_Model) return;
  m_Model->FoldersOnly = m_FoldersOnly;
  m_Model->FileExtension = m_FileExtension;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    for (const commands::FolderNode& drive : m_Model->Drives()) {
      QTreeWidgetItem* item = MakeNode(nullptr, nullptr, drive);
      m_TreeView1->addTopLevelItem(item);
      AddPlaceholder(item);
    }
  } catch (const Error& error) {
    QApplication::restoreOverrideCursor();
    MsgBox(error.Description(), MsgStyle::Information);
    return;
  }
  QApplication::restoreOverrideCursor();
}

void frmFolderBrowser::AddPlaceholder(QTreeWidgetItem* parent) {
  auto* placeholder =
      new QTreeWidgetItem(parent, QStringList(commands::FolderBrowserModel::kPlaceholder));
  placeholder->setData(0, kPlaceholderRole, true);
}

QTreeWidgetItem* frmFolderBrowser::MakeNode(QTreeWidgetItem* reuse, QTreeWidgetItem* parent,
                                            const commands::FolderNode& node) {
  QTreeWidgetItem* item = reuse != nullptr ? reuse : new QTreeWidgetItem(parent);
  item->setData(0, kPlaceholderRole, false);
  item->setData(0, kKeyRole, ToQ(node.key));
  item->setText(0, ToQ(node.text));
  item->setIcon(0, IconOf(node.icon));
  return item;
}

// Each node is listed once: only while its first child is the placeholder.
void frmFolderBrowser::Expand(QTreeWidgetItem* item) {
  if (!m_Model || item->childCount() == 0 || !IsPlaceholder(item->child(0))) return;
  QTreeWidgetItem* placeholder = item->child(0);
  if (placeholder->data(0, kKeyRole).isValid()) return;  // the no-files note
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const commands::FolderListing listing =
      m_Model->Expand(FromQ(item->data(0, kKeyRole).toString()));
  QApplication::restoreOverrideCursor();

  QTreeWidgetItem* reuse = placeholder;
  for (const commands::FolderNode& node : listing.nodes) {
    QTreeWidgetItem* child = MakeNode(reuse, item, node);
    reuse = nullptr;
    if (node.icon == commands::FolderIcon::Folder) AddPlaceholder(child);
  }
  if (reuse == nullptr) return;
  if (listing.note.empty()) {
    delete placeholder;
  } else {
    placeholder->setText(0, ToQ(listing.note));
    // Marks the note so that expanding its parent again lists nothing.
    placeholder->setData(0, kKeyRole, QVariant(QString()));
    placeholder->setFlags(placeholder->flags() & ~Qt::ItemIsSelectable);
  }
}

void frmFolderBrowser::cmdOK_Click() {
  QTreeWidgetItem* selected = m_TreeView1->currentItem();
  FolderBrowserResult() = selected != nullptr && selected->isSelected() && !IsPlaceholder(selected)
                              ? FromQ(selected->data(0, kKeyRole).toString())
                              : std::string();
  accept();
}

void frmFolderBrowser::reject() {
  FolderBrowserResult().clear();
  QDialog::reject();
}

// Closed by the window's close box: the result stays as it was.
void frmFolderBrowser::closeEvent(QCloseEvent* event) {
  event->accept();
  QDialog::done(QDialog::Rejected);
}

}  // namespace bw
