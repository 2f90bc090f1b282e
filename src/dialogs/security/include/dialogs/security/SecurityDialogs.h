// The security dialogs as the dialog service shows them: each opens modally
// over `parent` and returns when it is closed.
#pragma once

#include <string>

class QWidget;

namespace bw {

class Server;
class Database;

void ShowLoginPropertiesDialog(QWidget* parent, Server& server, const std::string& loginName);
void ShowAddLoginWizardDialog(QWidget* parent, Server& server);
// New-user mode when `userName` is empty.
void ShowArchiveUserDialog(QWidget* parent, Database& archive, const std::string& userName,
                           const std::string& loginName);
// True and `password` set when a new password was confirmed.
bool ShowChangePasswordDialog(QWidget* parent, std::string& password);

}  // namespace bw
