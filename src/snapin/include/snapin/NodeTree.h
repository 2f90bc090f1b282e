// The console tree of the snap-in: what each node is called, shows and
// carries when it is created, what expanding and renaming do, and how a
// server's node is rebuilt after its state changed.
#pragma once

#include <string>

#include "archives/Database.h"
#include "archives/Databases.h"
#include "sdk/Scope.h"
#include "servers/Server.h"
#include "snapin/SnapInContext.h"

namespace bw::snapin {

// Folder images.
namespace Image {
inline constexpr int ServerGroup = 2;
inline constexpr int ServerRunning = 3;
inline constexpr int ServerStopped = 4;
inline constexpr int Archive = 5;
inline constexpr int Users = 6;
inline constexpr int Properties = 7;
inline constexpr int Logins = 9;
inline constexpr int Archives = 12;
inline constexpr int ServerUnknown = 13;
inline constexpr int ConnectError = 14;
inline constexpr int FullText = 15;
}  // namespace Image

class NodeTree {
 public:
  explicit NodeTree(SnapInContext& context) : m_Context(context) {}

  void ScopeItems_Initialize(sdk::ScopeItem& item);
  void ScopeItems_Expand(sdk::ScopeItem& item);
  void ScopeItems_Rename(sdk::ScopeItem& item, const std::string& newName);

  void AddServerNodes(sdk::ScopeItem& parent);
  void AddDatabaseNodes(sdk::ScopeItem& parent, Databases& archives);
  // Replaces the node by a fresh one for `server`, at the same place.
  sdk::ScopeItem& RefreshServerNode(sdk::ScopeItem& node, Server& server);
  // The node of a server or an archive that a command has just added.
  void AddNewServerNode(sdk::ScopeItem& group, Server& server);
  void AddNewDatabaseNode(sdk::ScopeItem& archivesNode, Database& archive);

  // Node names.
  static std::string ServerNodeName(const Server& server);
  static std::string ArchiveNodeName(const Database& archive);

 private:
  sdk::ScopeItem& AddServerNode(sdk::ScopeItem& parent, const std::string& name, Server& server,
                                int lostImage, sdk::ScopeItem* after);
  void AddDatabaseNode(sdk::ScopeItem& parent, Database& archive);
  std::string PlatformSuffix(Server& server);

  SnapInContext& m_Context;
};

}  // namespace bw::snapin
