// A headless console with the real snap-in against the suite's stand-in:
// the test's own configuration home, scripted message boxes, the dialog twin,
// and an administrator's registration for setting up archives and logins.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "DialogTwin.h"
#include "HeadlessConsole.h"
#include "StandinFixture.h"
#include "commands/DialogService.h"
#include "data/DataAccess.h"
#include "servers/Servers.h"
#include "support/MessageService.h"

namespace bw::testing {

inline constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";
inline constexpr char kLoginPassword[] = "Snap-pw-1";

class SnapInSuite : public StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-snapin", &m_Messages);
    ::setenv("BW_SERVICE_CONTROL_PORT", std::to_string(Standin().ControlPort()).c_str(), 1);
    SetDialogService(&m_Dialogs);
    m_Admin = std::make_unique<Servers>();
  }

  void TearDown() override {
    m_Console.reset();
    m_Admin.reset();
    // What the test left (archives it deleted or detached are gone already).
    Connection admin;
    admin.SetConnectionString(RegistrationString());
    admin.Open();
    std::vector<std::string> names;
    {
      Recordset left;
      left.Open("SELECT name FROM master..sysdatabases WHERE name LIKE 'Brindlewick[_]%'", &admin);
      for (; !left.Eof(); left.MoveNext()) names.push_back(left.Value("name").ToText());
    }
    for (const std::string& name : names) DropWhenReleased(admin, name);
    SetDialogService(nullptr);
    ::unsetenv("BW_SERVICE_CONTROL_PORT");
    LeaveProfile(m_Home);
  }

  // The console's connections were just closed; the server ends their
  // sessions a moment later, and until then the database is in use (3702).
  static void DropWhenReleased(Connection& admin, const std::string& name) {
    for (int attempt = 1;; ++attempt) {
      try {
        admin.Execute("DROP DATABASE " + name);
        return;
      } catch (const DataError& error) {
        if (error.ServerNumber() != 3702 || attempt == 50) throw;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }

  // Registers the stand-in for `login` (sa first: it is the administrator's).
  Server* Register(const std::string& login = "sa", const std::string& password = kSaPassword) {
    std::string text = RegistrationString(login, password);
    return m_Admin->Add(text);
  }
  // A registration nothing answers for: a port where no server listens.
  void RegisterUnreachable() {
    std::string text = "Provider=SQLOLEDB;Data Source=127.0.0.1,1;User Id=sa;Password=x;";
    m_Admin->Add(text);
  }
  Server* AdminServer() { return m_Admin && m_Admin->Count() > 0 ? m_Admin->Item(1) : nullptr; }
  Database* CreateArchive(const std::string& name) {
    return AdminServer()->Databases().AddNew(name, std::string(kDataFolder) + name + ".mdf");
  }
  void Sql(const std::string& sql) { AdminServer()->GetConnection().Execute(sql); }
  // A SQL login, made once per suite run (a login that just closed its
  // sessions may not be dropped at once).
  void Login(const std::string& login) {
    Sql("IF NOT EXISTS (SELECT * FROM master..syslogins WHERE name = '" + login +
        "') EXEC sp_addlogin '" + login + "', '" + kLoginPassword + "'");
  }

  // The console, started, with its server group expanded.
  // bwconsole opens the root only; most tests want the servers shown too.
  HeadlessConsole& OpenConsole(bool expandServers = true) {
    m_Console = std::make_unique<HeadlessConsole>();
    m_Console->Start();
    m_Console->Expand("StaticNode");
    if (expandServers) m_Console->Expand("StaticNode.DatabaseServers");
    return *m_Console;
  }

  std::string LastMessage() const {
    return m_Messages.History().empty() ? "" : m_Messages.History().back().text;
  }
  int LastStyle() const {
    return m_Messages.History().empty() ? -1 : m_Messages.History().back().style;
  }

  ScriptedMessageService m_Messages;
  DialogTwin m_Dialogs;
  std::unique_ptr<Servers> m_Admin;
  std::unique_ptr<HeadlessConsole> m_Console;
  std::filesystem::path m_Home;
};

}  // namespace bw::testing
