#include "snapin/ResultViews.h"

#include <set>

#include "archives/Database.h"
#include "commands/SecurityCommands.h"
#include "data/DataAccess.h"
#include "servers/Server.h"
#include "snapin/PropertyViews.h"
#include "support/Helpers.h"
#include "support/StringTable.h"

namespace bw::snapin {

namespace {

// The object behind a list node: the tag of its parent node.
template <class T>
T* ParentObject(sdk::ResultView& view) {
  sdk::ScopeItem* parent = view.GetScopeItem().Parent();
  return parent == nullptr ? nullptr : TagAs<T>(parent->GetTag());
}

// The first result set of a procedure that may send row counts first.
void OpenFirstRows(Recordset& rows, const std::string& sql, Connection& connection) {
  rows.Open(sql, &connection, adOpenForwardOnly, adLockReadOnly);
  for (int step = 0; step < 101 && rows.State() != adStateOpen; ++step) rows.NextRecordset();
}

std::string Trimmed(const Variant& value) {
  return TrimBlanks(value.ToText());
}

}  // namespace

void ResultViews::ResultViews_Initialize(sdk::ResultView& view) {
  const std::string type = view.GetScopeItem().NodeTypeName();
  view.SetMark(type);
  if (type == "Server") {
    m_Properties.FillServerProperties(view);
  } else if (type == "Properties") {
    m_Properties.FillArchiveProperties(view);
  } else if (type == "Catalog") {
    m_Properties.FillCatalogProperties(view);
  } else if (type == "LoginNames") {
    FillLoginList(view);
  } else if (type == "Users") {
    FillUserList(view);
  }
}

void ResultViews::FillLoginList(sdk::ResultView& view) {
  // The logins node itself carries the server too; its parent is the server.
  Server* server = ParentObject<Server>(view);
  if (server == nullptr) return;
  BusyPointer busy(m_Context.host);
  sdk::ListView& list = view.GetListView();
  list.Clear();
  list.SetColumnHeader("NAME", LoadResString(298));
  list.SetColumnHeader("TYPE", LoadResString(299));
  list.SetColumnHeader("ACCESS", LoadResString(300));
  Recordset rows;
  rows.Open(
      "SELECT loginname, isntgroup, isntuser, isntname, denylogin, hasaccess FROM "
      "master.dbo.syslogins",
      &server->GetConnection(), adOpenForwardOnly, adLockReadOnly);
  for (; !rows.Eof(); rows.MoveNext()) {
    std::string login = Trimmed(rows.Value("loginname"));
    if (LowerAscii(login) == "sa" || list.Contains("Login" + login)) continue;
    sdk::ListItem& item = list.Add("Login" + login, login);
    item.SetIcon(6);
    item.SetTag(server);
    item.SetSubItem(1, "NAME", login);
    std::string type = "Standard";
    if (rows.Value("isntgroup").ToInteger() == 1) {
      type = LoadResString(70);
    } else if (rows.Value("isntuser").ToInteger() == 1) {
      type = LoadResString(71);
    }
    item.SetSubItem(2, "TYPE", type);
    bool granted =
        rows.Value("denylogin").ToInteger() == 0 && rows.Value("hasaccess").ToInteger() == 1;
    item.SetSubItem(3, "ACCESS", LoadResString(granted ? 72 : 73));
  }
}

void ResultViews::FillUserList(sdk::ResultView& view) {
  Database* archive = ParentObject<Database>(view);
  if (archive == nullptr) return;
  BusyPointer busy(m_Context.host);
  m_Context.host->ProcessEvents();
  sdk::ListView& list = view.GetListView();
  list.Clear();
  list.SetColumnHeader("NAME", LoadResString(298));
  list.SetColumnHeader("LOGINNAME", LoadResString(301));
  list.SetColumnHeader("ACCESS", LoadResString(302));

  std::set<std::string> loginsSeen;
  {
    Recordset rows;
    OpenFirstRows(rows, "EXEC sp_helpuser", archive->GetConnection());
    for (; rows.State() == adStateOpen && !rows.Eof(); rows.MoveNext()) {
      std::string user = Trimmed(rows.Value("UserName"));
      std::string login = Trimmed(rows.Value("LoginName"));
      // One row per user and role: the user's further roles add nothing.
      if (list.Contains("User" + user)) continue;
      sdk::ListItem& item = list.Add("User" + user, user);
      item.SetIcon(6);
      item.SetTag(archive);
      item.SetSubItem(1, "NAME", user);
      item.SetSubItem(2, "LOGINNAME", login);
      item.SetSubItem(3, "ACCESS", LoadResString(72));
      if (!login.empty()) loginsSeen.insert(LowerAscii(login));
    }
  }
  Recordset members;
  OpenFirstRows(members, "EXEC sp_helpsrvrolemember 'sysadmin'", archive->GetConnection());
  for (; members.State() == adStateOpen && !members.Eof(); members.MoveNext()) {
    std::string member = Trimmed(members.Value("MemberName"));
    if (LowerAscii(member) == "sa" || loginsSeen.count(LowerAscii(member)) != 0 ||
        list.Contains("User" + member)) {
      continue;
    }
    sdk::ListItem& item = list.Add("User" + member, member);
    item.SetIcon(6);
    item.SetTag(archive);
    item.SetSubItem(1, "NAME", member);
    item.SetSubItem(2, "LOGINNAME", member);
    item.SetSubItem(3, "ACCESS", LoadResString(82));
  }
}

void ResultViews::ResultViews_ListItemDblClick(sdk::ResultView& view, sdk::ListItem& item,
                                               bool& /*doDefault*/) {
  const std::string type = view.GetScopeItem().NodeTypeName();
  if (type == "Users") {
    if (Database* archive = TagAs<Database>(item.GetTag())) {
      commands::UserProperties(*archive, item.SubItem(1), item.SubItem(2));
    }
  } else if (type == "LoginNames") {
    if (Server* server = TagAs<Server>(item.GetTag())) {
      commands::LoginProperties(*server, item.SubItem(1));
    }
  }
}

}  // namespace bw::snapin
