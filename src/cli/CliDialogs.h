// The dialogs of bwctl: a command line asks nothing, so each security
// dialog is played by a function that applies what the command line said.
// bwctl installs one for the run of a single command; the console's
// commands reach it through the dialog service as they would reach a dialog.
#pragma once

#include <functional>
#include <string>

#include "ExitCodes.h"
#include "commands/DialogService.h"

namespace bw::cli {

class CliDialogs : public DialogService {
 public:
  std::function<int(Server&)> addLogin;
  std::function<int(Server&, const std::string&)> loginProperties;
  std::function<int(Database&, const std::string&, const std::string&)> archiveUser;

  // What the dialog function returned (kExitFailed when none was set).
  int Code() const { return m_Code; }

  void ShowSQLServer(Servers&, Server*, int) override { Missing(); }
  void ShowNewArchiveWizard(Databases&) override { Missing(); }
  void ShowOpenArchive(Databases&) override { Missing(); }
  void ShowChangeOwner(Database&) override { Missing(); }
  void ShowLoginProperties(Server& server, const std::string& login) override {
    m_Code = loginProperties ? loginProperties(server, login) : Missing();
  }
  void ShowAddLoginWizard(Server& server) override {
    m_Code = addLogin ? addLogin(server) : Missing();
  }
  void ShowArchiveUser(Database& archive, const std::string& user,
                       const std::string& login) override {
    m_Code = archiveUser ? archiveUser(archive, user, login) : Missing();
  }
  bool ShowChangePassword(std::string&) override {
    Missing();
    return false;
  }
  void ShowProgress(Database&, ProgressTask, std::int32_t) override { Missing(); }

 private:
  int Missing() { return m_Code = kExitFailed; }
  int m_Code = kExitFailed;
};

// Installs `dialogs` for the lifetime of this object.
class DialogScope {
 public:
  explicit DialogScope(DialogService& dialogs) { SetDialogService(&dialogs); }
  ~DialogScope() { SetDialogService(nullptr); }
  DialogScope(const DialogScope&) = delete;
  DialogScope& operator=(const DialogScope&) = delete;
};

}  // namespace bw::cli
