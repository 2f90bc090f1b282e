// The account picker: the local accounts and groups, one or more chosen,
// returned as "DOMAIN\account" lines. Plugged in as cNet's account picker,
// so the add-login wizard's browse button opens it.
#pragma once

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace bw {

class frmAccountPicker : public QDialog {
 public:
  frmAccountPicker(const std::string& title, const std::vector<std::string>& accounts,
                   QWidget* parent = nullptr);

  // The chosen accounts in the list's order.
  std::vector<std::string> Selection() const;

  // Shows the picker modally over the active window: the accounts chosen,
  // or nothing when cancelled.
  static std::optional<std::vector<std::string>> Pick(const std::string& title,
                                                      const std::vector<std::string>& accounts);

  // Makes cNet::GetBrowserNames open this picker.
  static void Install();

 private:
  void Filter(const QString& text);

  QLineEdit* m_txtFilter;
  QListWidget* m_lstAccounts;
  QPushButton* m_cmdOK;
  QPushButton* m_cmdCancel;
};

}  // namespace bw
