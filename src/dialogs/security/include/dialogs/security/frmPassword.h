// The Change Password dialog: a new password typed twice. It changes nothing
// on the server; its owner reads Password() after an accepted exec() and
// sends it with its own OK.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace bw {

class frmPassword : public QDialog {
  Q_OBJECT
 public:
  explicit frmPassword(QWidget* parent = nullptr);

  // The confirmed password (valid after the dialog was accepted).
  std::string Password() const;

 private:
  void cmdOK_Click();

  QLineEdit* m_txtPassword;
  QLineEdit* m_txtPasswordRepeated;
  QPushButton* m_cmdOK;
};

}  // namespace bw
