#include "dialogs/servers/frmAccountPicker.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/widgets/DialogText.h"
#include "servers/cNet.h"

namespace bw {

frmAccountPicker::frmAccountPicker(const std::string& title,
                                   const std::vector<std::string>& accounts, QWidget* parent)
    : QDialog(parent) {
  setObjectName("frmAccountPicker");
  setWindowTitle(title.empty() ? QStringLiteral("Select Users or Groups") : ToQ(title));
  auto* filterLabel = new QLabel("&Find:", this);
  m_txtFilter = new QLineEdit(this);
  m_txtFilter->setObjectName("txtFilter");
  m_txtFilter->setAccessibleName("Find");
  m_txtFilter->setClearButtonEnabled(true);
  filterLabel->setBuddy(m_txtFilter);
  auto* listLabel = new QLabel("&Accounts and groups:", this);
  m_lstAccounts = new QListWidget(this);
  m_lstAccounts->setObjectName("lstAccounts");
  m_lstAccounts->setAccessibleName("Accounts and groups");
  m_lstAccounts->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_lstAccounts->setMinimumSize(320, 260);
  listLabel->setBuddy(m_lstAccounts);
  for (const std::string& account : accounts) m_lstAccounts->addItem(ToQ(account));
  m_cmdOK = new QPushButton(ResText(90), this);
  m_cmdOK->setObjectName("cmdOK");
  m_cmdOK->setAccessibleName("OK");
  m_cmdOK->setDefault(true);
  m_cmdCancel = new QPushButton(ResText(91), this);
  m_cmdCancel->setObjectName("cmdCancel");
  m_cmdCancel->setAccessibleName("Cancel");
  m_cmdCancel->setAutoDefault(false);

  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(filterLabel);
  filterRow->addWidget(m_txtFilter, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_cmdOK);
  buttons->addWidget(m_cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filterRow);
  layout->addWidget(listLabel);
  layout->addWidget(m_lstAccounts, 1);
  layout->addLayout(buttons);

  connect(m_txtFilter, &QLineEdit::textChanged, this,
          [this](const QString& text) { Filter(text); });
  connect(m_lstAccounts, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
  connect(m_lstAccounts, &QListWidget::itemSelectionChanged, this,
          [this] { m_cmdOK->setEnabled(!m_lstAccounts->selectedItems().isEmpty()); });
  connect(m_cmdOK, &QPushButton::clicked, this, [this] { accept(); });
  connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
  m_cmdOK->setEnabled(false);
  SetDialogFont(this);
}

void frmAccountPicker::Filter(const QString& text) {
  for (int row = 0; row < m_lstAccounts->count(); ++row) {
    QListWidgetItem* item = m_lstAccounts->item(row);
    const bool shown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
    item->setHidden(!shown);
    if (!shown) item->setSelected(false);
  }
}

std::vector<std::string> frmAccountPicker::Selection() const {
  std::vector<std::string> chosen;
  for (int row = 0; row < m_lstAccounts->count(); ++row) {
    QListWidgetItem* item = m_lstAccounts->item(row);
    if (item->isSelected() && !item->isHidden()) chosen.push_back(FromQ(item->text()));
  }
  return chosen;
}

std::optional<std::vector<std::string>> frmAccountPicker::Pick(
    const std::string& title, const std::vector<std::string>& accounts) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = QApplication::activeWindow();
  frmAccountPicker picker(title, accounts, owner);
  if (picker.exec() != QDialog::Accepted) return std::nullopt;
  return picker.Selection();
}

void frmAccountPicker::Install() {
  cNet::SetAccountPicker(&frmAccountPicker::Pick);
}

}  // namespace bw
