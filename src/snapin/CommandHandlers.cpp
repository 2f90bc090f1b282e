#include "snapin/CommandHandlers.h"

#include "archives/Database.h"
#include "archives/Databases.h"
#include "commands/ArchiveCommands.h"
#include "commands/ConsoleCommands.h"
#include "commands/SecurityCommands.h"
#include "commands/ServerCommands.h"
#include "servers/Server.h"
#include "servers/Servers.h"

namespace bw::snapin {

using commands::Outcome;

namespace {

sdk::ScopeItem* FirstNode(const sdk::Selection& selection) {
  return selection.scopeItems.empty() ? nullptr : selection.scopeItems.front();
}

sdk::ListItem* FirstListItem(const sdk::Selection& selection) {
  return selection.listItems.empty() ? nullptr : selection.listItems.front();
}

template <class T>
T* NodeObject(const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  return node == nullptr ? nullptr : TagAs<T>(node->GetTag());
}

template <class T>
T* ParentObject(const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  sdk::ScopeItem* parent = node == nullptr ? nullptr : node->Parent();
  return parent == nullptr ? nullptr : TagAs<T>(parent->GetTag());
}

}  // namespace

CommandHandlers::CommandHandlers(SnapInContext& context, NodeTree& tree, ResultViews& lists,
                                 PropertyViews& properties, Menus& menus)
    : m_Context(context), m_Tree(tree), m_Lists(lists), m_Properties(properties), m_Menus(menus) {
  m_Handlers = {
      {"mnuAddSQLServer", &CommandHandlers::mnuAddSQLServer_Click},
      {"mnuSQLServerProperties", &CommandHandlers::mnuSQLServerProperties_Click},
      {"mnuDetachSQLServer", &CommandHandlers::mnuDetachSQLServer_Click},
      {"mnuStartSQLServer", &CommandHandlers::mnuStartSQLServer_Click},
      {"mnuStopSQLServer", &CommandHandlers::mnuStopSQLServer_Click},
      {"mnuAddNewDatabase", &CommandHandlers::mnuAddNewDatabase_Click},
      {"mnuOpenDatabase", &CommandHandlers::mnuOpenDatabase_Click},
      {"mnuCloseDatabase", &CommandHandlers::mnuCloseDatabase_Click},
      {"mnuDeleteDatabase", &CommandHandlers::mnuDeleteDatabase_Click},
      {"mnuChangeOwner", &CommandHandlers::mnuChangeOwner_Click},
      {"mnuShrinkLogfile", &CommandHandlers::mnuShrinkLogfile_Click},
      {"mnuAddCatalog", &CommandHandlers::mnuAddCatalog_Click},
      {"mnuRemoveCatalog", &CommandHandlers::mnuRemoveCatalog_Click},
      {"mnuGrantLogin", &CommandHandlers::mnuGrantLogin_Click},
      {"mnuLoginProperties", &CommandHandlers::mnuLoginProperties_Click},
      {"mnuRevokeLogin", &CommandHandlers::mnuRevokeLogin_Click},
      {"mnuNewDatabaseUser", &CommandHandlers::mnuNewDatabaseUser_Click},
      {"mnuRevokeDBAccess", &CommandHandlers::mnuRevokeDBAccess_Click},
      {"mnuUserProperties", &CommandHandlers::mnuUserProperties_Click},
  };
}

bool CommandHandlers::Click(const std::string& itemName, int index,
                            const sdk::Selection& selection) {
  auto found = m_Handlers.find(itemName);
  if (found == m_Handlers.end()) return false;
  (this->*found->second)(index, selection);
  return true;
}

sdk::ResultView* CommandHandlers::CurrentViewMarked(const std::string& mark) {
  sdk::ResultView* view = m_Context.host->CurrentResultView();
  return view != nullptr && view->Mark() == mark ? view : nullptr;
}

void CommandHandlers::RemoveCurrentListItem(const sdk::ListItem& item) {
  sdk::ResultView* view = m_Context.host->CurrentResultView();
  if (view == nullptr) return;
  for (sdk::ListItem* row : view->GetListView().Items()) {
    if (row == &item) {
      view->GetListView().Remove(row->Index());
      return;
    }
  }
}

void CommandHandlers::mnuAddSQLServer_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* group = FirstNode(selection);
  if (group == nullptr || !m_Context.m_Servers) return;
  // A selected server node stands for its group.
  if (group->NodeTypeName() == "Server" && group->Parent() != nullptr) group = group->Parent();
  Servers& servers = *m_Context.m_Servers;
  if (commands::RegisterSQLServer(servers) == Outcome::Done) {
    m_Tree.AddNewServerNode(*group, *servers.Item(servers.Count()));
  }
}

void CommandHandlers::mnuSQLServerProperties_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Server* server = NodeObject<Server>(selection);
  if (node == nullptr || server == nullptr || !m_Context.m_Servers) return;
  if (commands::EditSQLServerRegistration(*m_Context.m_Servers, *server) == Outcome::Done) {
    m_Tree.RefreshServerNode(*node, *server);
  }
}

void CommandHandlers::mnuDetachSQLServer_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Server* server = NodeObject<Server>(selection);
  if (node == nullptr || server == nullptr || !m_Context.m_Servers) return;
  // The node goes first: its children carry the server's objects.
  std::string name = node->Name();
  if (commands::DetachSQLServer(*m_Context.m_Servers, *server) == Outcome::Done) {
    m_Context.host->GetScopeItems().Remove(name);
  }
}

void CommandHandlers::mnuStartSQLServer_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Server* server = NodeObject<Server>(selection);
  if (node == nullptr || server == nullptr) return;
  if (commands::StartSQLServer(*server) == Outcome::Done) {
    node->SetFolder(Image::ServerRunning);
    if (sdk::Menu* stop = m_Menus.Find("mnuStopSQLServer")) {
      stop->enabled = true;
      stop->greyed = false;
    }
    m_Tree.RefreshServerNode(*node, *server);
  }
}

void CommandHandlers::mnuStopSQLServer_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Server* server = NodeObject<Server>(selection);
  if (node == nullptr || server == nullptr) return;
  if (commands::StopSQLServer(*server) == Outcome::Done) {
    node->SetFolder(Image::ServerStopped);
    node->SetHasChildren(false);
    node->RemoveChildren();
  }
}

void CommandHandlers::mnuAddNewDatabase_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Databases* archives = NodeObject<Databases>(selection);
  if (node == nullptr || archives == nullptr) return;
  if (commands::NewArchiveWizard(*archives) == Outcome::Done) {
    m_Tree.AddNewDatabaseNode(*node, *archives->Item(archives->Count()));
  }
}

void CommandHandlers::mnuOpenDatabase_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Databases* archives = NodeObject<Databases>(selection);
  if (node == nullptr || archives == nullptr) return;
  if (commands::OpenArchiveDialog(*archives) == Outcome::Done) {
    m_Tree.AddNewDatabaseNode(*node, *archives->Item(archives->Count()));
  }
}

void CommandHandlers::mnuCloseDatabase_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Database* archive = NodeObject<Database>(selection);
  Databases* archives = ParentObject<Databases>(selection);
  if (node == nullptr || archive == nullptr || archives == nullptr) return;
  std::string name = node->Name();
  if (commands::CloseDatabase(*archives, *archive) == Outcome::Done) {
    m_Context.host->GetScopeItems().Remove(name);
  }
}

void CommandHandlers::mnuDeleteDatabase_Click(int, const sdk::Selection& selection) {
  sdk::ScopeItem* node = FirstNode(selection);
  Database* archive = NodeObject<Database>(selection);
  Databases* archives = ParentObject<Databases>(selection);
  if (node == nullptr || archive == nullptr || archives == nullptr) return;
  std::string name = node->Name();
  Outcome outcome;
  {
    BusyPointer busy(m_Context.host);
    outcome = commands::DeleteDatabase(*archives, *archive);
  }
  if (outcome == Outcome::Done) m_Context.host->GetScopeItems().Remove(name);
}

void CommandHandlers::mnuChangeOwner_Click(int, const sdk::Selection& selection) {
  if (Database* archive = NodeObject<Database>(selection)) commands::ChangeOwnerDialog(*archive);
}

void CommandHandlers::mnuShrinkLogfile_Click(int, const sdk::Selection& selection) {
  if (Database* archive = NodeObject<Database>(selection)) commands::ShrinkLogfile(*archive);
}

void CommandHandlers::mnuAddCatalog_Click(int, const sdk::Selection& selection) {
  Database* archive = ParentObject<Database>(selection);
  if (archive == nullptr) return;
  Outcome outcome;
  {
    BusyPointer busy(m_Context.host);
    outcome = commands::AddCatalog(*archive);
  }
  if (outcome != Outcome::Done) return;
  if (sdk::ResultView* view = CurrentViewMarked("Catalog"))
    m_Properties.FillCatalogProperties(*view);
}

void CommandHandlers::mnuRemoveCatalog_Click(int, const sdk::Selection& selection) {
  Database* archive = ParentObject<Database>(selection);
  if (archive == nullptr) return;
  Outcome outcome;
  {
    BusyPointer busy(m_Context.host);
    outcome = commands::RemoveCatalog(*archive);
  }
  if (outcome != Outcome::Done) return;
  if (sdk::ResultView* view = CurrentViewMarked("Catalog"))
    m_Properties.FillCatalogProperties(*view);
}

void CommandHandlers::mnuGrantLogin_Click(int, const sdk::Selection& selection) {
  Server* server = NodeObject<Server>(selection);
  if (server == nullptr) return;
  if (commands::GrantLogin(*server) != Outcome::Done) return;
  if (sdk::ResultView* view = CurrentViewMarked("LoginNames")) m_Lists.FillLoginList(*view);
}

void CommandHandlers::mnuLoginProperties_Click(int, const sdk::Selection& selection) {
  sdk::ListItem* item = FirstListItem(selection);
  Server* server = item == nullptr ? nullptr : TagAs<Server>(item->GetTag());
  if (server == nullptr) return;
  if (commands::LoginProperties(*server, item->SubItem(1)) != Outcome::Done) return;
  if (sdk::ResultView* view = CurrentViewMarked("LoginNames")) m_Lists.FillLoginList(*view);
}

void CommandHandlers::mnuRevokeLogin_Click(int, const sdk::Selection& selection) {
  sdk::ListItem* item = FirstListItem(selection);
  Server* server = item == nullptr ? nullptr : TagAs<Server>(item->GetTag());
  if (server == nullptr) return;
  if (commands::RevokeLogin(*server, item->SubItem(1), item->SubItem("TYPE") == "Standard") ==
      Outcome::Done) {
    RemoveCurrentListItem(*item);
  }
}

void CommandHandlers::mnuNewDatabaseUser_Click(int, const sdk::Selection& selection) {
  Database* archive = ParentObject<Database>(selection);
  if (archive == nullptr) return;
  if (commands::NewDatabaseUser(*archive) != Outcome::Done) return;
  if (sdk::ResultView* view = CurrentViewMarked("Users")) m_Lists.FillUserList(*view);
}

void CommandHandlers::mnuRevokeDBAccess_Click(int, const sdk::Selection& selection) {
  sdk::ListItem* item = FirstListItem(selection);
  Database* archive = item == nullptr ? nullptr : TagAs<Database>(item->GetTag());
  if (archive == nullptr) return;
  if (commands::RevokeDBAccess(*archive, item->SubItem(1)) == Outcome::Done) {
    RemoveCurrentListItem(*item);
  }
}

void CommandHandlers::mnuUserProperties_Click(int, const sdk::Selection& selection) {
  sdk::ListItem* item = FirstListItem(selection);
  Database* archive = item == nullptr ? nullptr : TagAs<Database>(item->GetTag());
  if (archive == nullptr) return;
  if (commands::UserProperties(*archive, item->SubItem(1), item->SubItem(2)) != Outcome::Done) {
    return;
  }
  if (sdk::ResultView* view = CurrentViewMarked("Users")) m_Lists.FillUserList(*view);
}

}  // namespace bw::snapin
