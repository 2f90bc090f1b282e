// What a snap-in declares once and the host reads: its node types with their
// result views and automatic children, and its designer menus. Plain data,
// no behaviour; both sides of the host interface include it.
#pragma once

#include <any>
#include <string>
#include <vector>

namespace bw::sdk {

// The object a scope item or list item carries for the snap-in. The host only
// stores and copies it; the snap-in reads it back with std::any_cast, so a
// tag of another class reads as "no object".
using Tag = std::any;

// Width of a column sized by the console.
inline constexpr int kAutoWidth = -1;

struct ColumnDef {
  std::string key;
  std::string header;
  int width = kAutoWidth;
};

enum class ViewMode {
  Icons,    // the node's children, labelled by their "NAME" sub-item
  Details,  // the rows the snap-in fills, one per item
};

struct ListViewDef {
  std::string name;  // lvServers, lvProperties, …
  std::vector<ColumnDef> columns;
  ViewMode mode = ViewMode::Icons;
};

struct NodeTypeDef {
  std::string name;  // the node type name, "DatabaseServers", "Server", …
  std::string guid;  // fixed for the life of the snap-in
  // Node types the host creates below a node of this type before its first
  // expansion (named by the host: parent name + "." + type name).
  std::vector<std::string> automaticChildren;
  ListViewDef view;
};

// A designer menu: a top menu whose children the console shows as items.
struct Menu {
  std::string name;  // mnuServer, mnuStartSQLServer, …
  std::string caption;
  std::string statusBarText;
  bool enabled = true;
  bool greyed = false;
  std::vector<Menu> children;
};

}  // namespace bw::sdk
