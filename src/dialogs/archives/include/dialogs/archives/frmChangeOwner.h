// The Change Owner dialog: shows an archive's present owner, offers the
// server's other logins (or a typed one) and makes the chosen login the
// archive's owner, removing its own user of the archive first.
#pragma once

#include <QDialog>

#include "commands/ChangeOwnerChoices.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace bw {

class Database;

class frmChangeOwner : public QDialog {
 public:
  explicit frmChangeOwner(Database& archive, QWidget* parent = nullptr);

 private:
  void LoadOwners();
  void cmdOK_Click();

  Database& m_Archive;
  commands::ChangeOwnerChoices m_Choices;
  QLabel* m_lblOldOwner;
  QComboBox* m_cmbLoginName;
  QPushButton* m_cmdOK;
  QPushButton* m_cmdCancel;
};

}  // namespace bw
