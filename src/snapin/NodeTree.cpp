#include "snapin/NodeTree.h"

#include <memory>

#include "commands/ArchiveCommands.h"
#include "support/Helpers.h"
#include "support/StringTable.h"

namespace bw::snapin {

namespace {

// Automatic nodes are recognised by the names the host gives them.
bool IsNamed(const std::string& name, const std::string& kind) {
  return EqualsIgnoreCase(name, kind) || ContainsIgnoreCase(name, "." + kind);
}

}  // namespace

std::string NodeTree::ServerNodeName(const Server& server) {
  return "Server" + std::to_string(server.ServerID());
}

std::string NodeTree::ArchiveNodeName(const Database& archive) {
  return "Server" + std::to_string(archive.GetServer()->ServerID()) + ".Database" +
         std::to_string(archive.ArchiveID());
}

void NodeTree::ScopeItems_Initialize(sdk::ScopeItem& item) {
  const std::string& name = item.Name();
  if (item.Parent() == nullptr) {
    // The root: only the column below.
  } else if (item.NodeTypeName() == "DatabaseServers") {
    item.SetDisplayName(LoadResString(4));
    item.SetFolder(Image::ServerGroup);
    m_Context.m_Servers = std::make_unique<Servers>();
    item.SetTag(m_Context.m_Servers.get());
    item.SetHasChildren(m_Context.m_Servers->Count() > 0);
  } else if (IsNamed(name, "Properties")) {
    item.SetDisplayName(LoadResString(5));
    item.SetFolder(Image::Properties);
  } else if (IsNamed(name, "Users")) {
    item.SetDisplayName(LoadResString(6));
    item.SetFolder(Image::Users);
  } else if (IsNamed(name, "Catalog")) {
    item.SetDisplayName(LoadResString(321));
    item.SetFolder(Image::FullText);
  } else if (IsNamed(name, "Databases")) {
    item.SetDisplayName(LoadResString(7));
    item.SetFolder(Image::Archives);
    if (Server* server = TagAs<Server>(item.Parent()->GetTag())) {
      Databases& archives = server->Databases();
      item.SetTag(&archives);
      item.SetHasChildren(archives.Count() > 0);
    }
  } else if (ContainsIgnoreCase(name, "LoginNames")) {
    item.SetDisplayName(LoadResString(8));
    item.SetFolder(Image::Logins);
    if (Server* server = TagAs<Server>(item.Parent()->GetTag())) item.SetTag(server);
  }
  item.AddColumn("NAME", "Name");
  item.SetListSubItem("NAME", item.DisplayName());
}

void NodeTree::ScopeItems_Expand(sdk::ScopeItem& item) {
  if (item.NodeTypeName() == "DatabaseServers") {
    AddServerNodes(item);
  } else if (Server* server = TagAs<Server>(item.GetTag())) {
    if (ContainsIgnoreCase(item.NodeTypeName(), "Server") && !server->IsConnected() &&
        !item.ExpandedOnce() && item.Children().empty()) {
      sdk::ScopeItem& error = m_Context.host->GetScopeItems().AddPlain(
          std::to_string(server->ServerID()) + "Error", item, false);
      error.SetDisplayName(LoadResString(83));
      error.SetListSubItem("NAME", error.DisplayName());
      error.SetFolder(Image::ConnectError);
    }
  } else if (Databases* archives = TagAs<Databases>(item.GetTag())) {
    AddDatabaseNodes(item, *archives);
  }
}

std::string NodeTree::PlatformSuffix(Server& server) {
  std::string platform = server.Version("Platform");
  if (ContainsIgnoreCase(platform, "NT")) return LoadResString(9);
  return " (" + platform + ")";
}

sdk::ScopeItem& NodeTree::AddServerNode(sdk::ScopeItem& parent, const std::string& name,
                                        Server& server, int lostImage, sdk::ScopeItem* after) {
  sdk::ScopeItems& items = m_Context.host->GetScopeItems();
  std::string key = ServerNodeName(server);
  if (server.IsConnected()) {
    sdk::ScopeItem& node = items.AddPredefined("Server", name, parent, true, after);
    node.SetKey(key);
    std::string suffix = PlatformSuffix(server);
    node.SetDisplayName(server.Location() + suffix);
    node.SetTag(&server);
    if (server.IsConnected()) {
      node.SetFolder(Image::ServerRunning);
    } else {
      node.SetFolder(lostImage);
      node.SetHasChildren(false);
    }
    node.SetListSubItem("NAME", server.Name());
    return node;
  }
  sdk::ScopeItem& node = items.AddPlain(name, parent, true, after);
  node.SetDisplayName(server.Location());
  node.SetNodeTypeName("Server");
  node.SetTag(&server);
  node.SetFolder(server.Status() == 1 ? Image::ServerStopped : Image::ServerUnknown);
  // Without a label the server would show blank in its group's list.
  node.SetListSubItem("NAME", server.Location());
  return node;
}

void NodeTree::AddServerNodes(sdk::ScopeItem& parent) {
  if (!m_Context.m_Servers) return;
  for (Server* server : m_Context.m_Servers->NewEnum()) {
    AddServerNode(parent, ServerNodeName(*server), *server, Image::ServerStopped, nullptr);
  }
}

void NodeTree::AddDatabaseNode(sdk::ScopeItem& parent, Database& archive) {
  std::string name = ArchiveNodeName(archive);
  sdk::ScopeItem& node =
      m_Context.host->GetScopeItems().AddPredefined("Database", name, parent, true);
  node.SetKey(name);
  node.SetDisplayName(archive.Name());
  node.SetListSubItem("NAME", archive.Name());
  node.SetTag(&archive);
  node.SetFolder(Image::Archive);
}

void NodeTree::AddDatabaseNodes(sdk::ScopeItem& parent, Databases& archives) {
  for (Database* archive : archives.NewEnum()) AddDatabaseNode(parent, *archive);
}

sdk::ScopeItem& NodeTree::RefreshServerNode(sdk::ScopeItem& node, Server& server) {
  sdk::ScopeItems& items = m_Context.host->GetScopeItems();
  sdk::ScopeItem& parent = *node.Parent();
  // The new node takes the old name plus "2"; another server's node may
  // already be called that (Server3 + "2" is Server32), so it grows until free.
  std::string name = node.Name() + "2";
  while (items.Find(name) != nullptr) name += "2";
  std::string oldName = node.Name();
  sdk::ScopeItem& fresh = AddServerNode(parent, name, server, Image::ConnectError, &node);
  items.Remove(oldName);
  return fresh;
}

void NodeTree::AddNewServerNode(sdk::ScopeItem& group, Server& server) {
  // Before its first expansion the group lists every server itself.
  if (!group.ExpandedOnce()) {
    group.SetHasChildren(true);
    return;
  }
  AddServerNode(group, ServerNodeName(server), server, Image::ServerStopped, nullptr);
}

void NodeTree::AddNewDatabaseNode(sdk::ScopeItem& archivesNode, Database& archive) {
  archivesNode.SetHasChildren(true);
  if (!archivesNode.ExpandedOnce()) return;
  AddDatabaseNode(archivesNode, archive);
}

void NodeTree::ScopeItems_Rename(sdk::ScopeItem& item, const std::string& newName) {
  Database* archive = TagAs<Database>(item.GetTag());
  if (archive == nullptr) return;
  if (commands::RenameDatabase(*archive, newName) == commands::Outcome::Done) {
    // The archive drops a leading prefix from the name it is given.
    item.SetDisplayName(archive->Name());
    item.SetListSubItem("NAME", archive->Name());
  }
}

}  // namespace bw::snapin
