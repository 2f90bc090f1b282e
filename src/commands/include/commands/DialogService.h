// The modal dialogs the console's commands open, as one service. The snap-in
// and the command logic call through it and never include Qt; bwconsole
// installs the Qt dialogs, tests install a twin. Each call shows its dialog
// modally and returns when it is closed; what the dialog changed is read from
// the objects afterwards (a grown collection, a changed connection string), as
// the commands do.
//
// One thread: the console's. A dialog reports its own errors; nothing is
// raised through these calls.
#pragma once

#include <cstdint>
#include <string>

namespace bw {

class Server;
class Servers;
class Databases;
class Database;

// The work frmProgress runs.
enum class ProgressTask : std::int32_t { PlainText = 1, Conversion = 2 };

class DialogService {
 public:
  virtual ~DialogService() = default;

  // frmSQLServer. `server` null: add mode, a new registration joins
  // `servers`; otherwise edit mode for that registration. `captionId` is the
  // string id of the caption (225 add, 310 edit).
  virtual void ShowSQLServer(Servers& servers, Server* server, int captionId) = 0;

  // frmNewArchiveWizard: a new archive joins `archives` on success.
  virtual void ShowNewArchiveWizard(Databases& archives) = 0;

  // frmOpenArchive: attaches existing files; the archive joins `archives`.
  virtual void ShowOpenArchive(Databases& archives) = 0;

  // frmChangeOwner for one archive.
  virtual void ShowChangeOwner(Database& archive) = 0;

  // frmLogin for an existing login of `server`.
  virtual void ShowLoginProperties(Server& server, const std::string& loginName) = 0;

  // frmUserWizard: adds a login to `server`.
  virtual void ShowAddLoginWizard(Server& server) = 0;

  // frmUser. New-user mode when `userName` is empty (caption 52); otherwise
  // the properties of that archive user, who belongs to `loginName`.
  virtual void ShowArchiveUser(Database& archive, const std::string& userName,
                               const std::string& loginName) = 0;

  // frmPassword: asks for a new password twice. True and `password` set when
  // confirmed; false (and `password` untouched) on Cancel.
  virtual bool ShowChangePassword(std::string& password) = 0;

  // frmProgress: runs the conversion from `version` (task Conversion) or the
  // plain-text generation (task PlainText) on `archive`, modally.
  virtual void ShowProgress(Database& archive, ProgressTask task, std::int32_t version) = 0;
};

// The service the commands use. Defaults to one that shows, through the
// message service, that the dialog is not available in this program, and
// changes nothing; hosts install theirs at start-up.
DialogService& Dialogs();
void SetDialogService(DialogService* service);  // nullptr restores the default

}  // namespace bw
