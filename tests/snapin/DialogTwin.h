// The dialogs as a test scripts them: each call is recorded, and a test may
// give a call something to do (register a server, create an archive) as the
// real dialog would on OK.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commands/DialogService.h"

namespace bw::testing {

class DialogTwin : public DialogService {
 public:
  void ShowSQLServer(Servers& servers, Server* server, int captionId) override {
    Record("frmSQLServer " + std::to_string(captionId));
    if (onSQLServer) onSQLServer(servers, server);
  }
  void ShowNewArchiveWizard(Databases& archives) override {
    Record("frmNewArchiveWizard");
    if (onNewArchive) onNewArchive(archives);
  }
  void ShowOpenArchive(Databases&) override { Record("frmOpenArchive"); }
  void ShowChangeOwner(Database&) override { Record("frmChangeOwner"); }
  void ShowLoginProperties(Server&, const std::string& loginName) override {
    Record("frmLogin " + loginName);
  }
  void ShowAddLoginWizard(Server&) override { Record("frmUserWizard"); }
  void ShowArchiveUser(Database&, const std::string& userName,
                       const std::string& loginName) override {
    Record("frmUser " + userName + "/" + loginName);
  }
  bool ShowChangePassword(std::string&) override {
    Record("frmPassword");
    return false;
  }
  void ShowProgress(Database&, ProgressTask task, std::int32_t version) override {
    Record("frmProgress " + std::to_string(static_cast<int>(task)) + " " + std::to_string(version));
  }

  std::vector<std::string> shown;
  std::function<void(Servers&, Server*)> onSQLServer;
  std::function<void(Databases&)> onNewArchive;

 private:
  void Record(const std::string& what) { shown.push_back(what); }
};

}  // namespace bw::testing
