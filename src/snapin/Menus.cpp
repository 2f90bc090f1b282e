#include "snapin/Menus.h"

#include <optional>
#include <vector>

#include "archives/Database.h"
#include "commands/ServerCommands.h"
#include "sdk/Scope.h"
#include "servers/Server.h"
#include "support/Helpers.h"
#include "support/StringTable.h"

namespace bw::snapin {

namespace {

// A caption or status text: a string id, or a literal when the id is 0.
struct Label {
  int id;
  const char* literal;
  std::string Text() const { return id != 0 ? LoadResString(id) : literal; }
};

struct ItemDef {
  const char* name;
  Label caption;
  Label status;
};

struct TopDef {
  const char* name;
  Label caption;
  std::vector<ItemDef> items;
};

const std::vector<TopDef>& Definitions() {
  static const std::vector<TopDef> kMenus = {
      {"mnuServers", {12, ""}, {{"mnuAddSQLServer", {10, ""}, {11, ""}}}},
      {"mnuServer",
       {0, "SQL Server"},
       {{"mnuSQLServerProperties", {13, ""}, {87, ""}},
        {"mnuDetachSQLServer", {14, ""}, {86, ""}},
        {"mnuStopSQLServer", {15, ""}, {84, ""}},
        {"mnuStartSQLServer", {16, ""}, {85, ""}}}},
      {"mnuDatabases",
       {0, "Datenbanken"},
       {{"mnuAddNewDatabase", {17, ""}, {18, ""}}, {"mnuOpenDatabase", {19, ""}, {20, ""}}}},
      {"mnuDatabase",
       {21, ""},
       {{"mnuDeleteDatabase", {24, ""}, {25, ""}},
        {"mnuCloseDatabase", {22, ""}, {23, ""}},
        {"mnuChangeOwner", {26, ""}, {27, ""}},
        {"mnuShrinkLogfile", {353, ""}, {353, ""}}}},
      {"mnuLoginNames", {28, ""}, {{"mnuGrantLogin", {29, ""}, {30, ""}}}},
      {"mnuLoginName",
       {28, ""},
       {{"mnuRevokeLogin", {34, ""}, {35, ""}}, {"mnuLoginProperties", {5, ""}, {36, ""}}}},
      {"mnuUsers", {31, ""}, {{"mnuNewDatabaseUser", {32, ""}, {33, ""}}}},
      {"mnuUser",
       {31, ""},
       {{"mnuRevokeDBAccess", {34, ""}, {37, ""}}, {"mnuUserProperties", {5, ""}, {38, ""}}}},
      {"mnuCatalog",
       {321, ""},
       {{"mnuAddCatalog", {322, ""}, {323, ""}}, {"mnuRemoveCatalog", {324, ""}, {325, ""}}}},
  };
  return kMenus;
}

// The top menu of a node type.
std::optional<std::string> TopMenuOf(const std::string& nodeType) {
  static const std::map<std::string, std::string> kByType = {
      {"DatabaseServers", "mnuServers"}, {"Server", "mnuServer"},
      {"Databases", "mnuDatabases"},     {"Database", "mnuDatabase"},
      {"LoginNames", "mnuLoginNames"},   {"Users", "mnuUsers"},
      {"Catalog", "mnuCatalog"}};
  auto found = kByType.find(nodeType);
  if (found == kByType.end()) return std::nullopt;
  return found->second;
}

void SetState(sdk::Menu& item, bool enabled) {
  item.enabled = enabled;
  item.greyed = !enabled;
}

}  // namespace

Menus::Menus() {
  for (const TopDef& top : Definitions()) {
    sdk::Menu menu;
    menu.name = top.name;
    for (const ItemDef& item : top.items) {
      sdk::Menu child;
      child.name = item.name;
      menu.children.push_back(child);
    }
    m_Top[top.name] = menu;
  }
}

sdk::Menu* Menus::Find(const std::string& name) {
  for (auto& [topName, top] : m_Top) {
    if (topName == name) return &top;
    for (auto& item : top.children) {
      if (item.name == name) return &item;
    }
  }
  return nullptr;
}

void Menus::Offer(const std::string& topName, sdk::ContextMenu& menu) {
  for (const TopDef& top : Definitions()) {
    if (topName != top.name) continue;
    sdk::Menu& offered = m_Top[topName];
    offered.caption = top.caption.Text();
    for (std::size_t i = 0; i < top.items.size(); ++i) {
      offered.children[i].caption = top.items[i].caption.Text();
      offered.children[i].statusBarText = top.items[i].status.Text();
    }
  }
  menu.AddMenu(m_Top[topName]);
}

void Menus::SetServiceStates(const sdk::Selection& selection) {
  Server* server = TagAs<Server>(selection.scopeItems.front()->GetTag());
  if (server == nullptr) return;
  auto states = commands::ServiceMenu(GetWindowsVersion(), server->Status());
  if (!states) return;
  SetState(*Find("mnuStartSQLServer"), states->startEnabled);
  SetState(*Find("mnuStopSQLServer"), states->stopEnabled);
}

void Menus::SetFullTextStates(const sdk::Selection& selection) {
  sdk::ScopeItem* parent = selection.scopeItems.front()->Parent();
  Database* archive = parent == nullptr ? nullptr : TagAs<Database>(parent->GetTag());
  if (archive == nullptr) return;
  SetState(*Find("mnuAddCatalog"), archive->GetFullTextStatus() == kFullTextNoCatalog);
  SetState(*Find("mnuRemoveCatalog"), archive->GetFullTextStatus() >= 0);
}

void Menus::Views_AddTopMenuItems(const sdk::Selection& selection, sdk::ContextMenu& menu,
                                  bool /*insertionAllowed*/) {
  if (!selection.scopeItems.empty()) {
    const std::string type = selection.scopeItems.front()->NodeTypeName();
    auto top = TopMenuOf(type);
    if (!top) return;
    if (type == "Server") SetServiceStates(selection);
    if (type == "Catalog") SetFullTextStates(selection);
    Offer(*top, menu);
    return;
  }
  if (selection.ListItemCount() != 1) return;
  const std::string& key = selection.listItems.front()->Key();
  if (StartsWithIgnoreCase(key, "Login")) {
    Offer("mnuLoginName", menu);
  } else if (StartsWithIgnoreCase(key, "User")) {
    Offer("mnuUser", menu);
  }
}

}  // namespace bw::snapin
