// The click handlers of the context menus: each finds its object in the
// selection, runs the command's logic (roles, question, action or dialog,
// error report) and then brings the tree or the current list up to date.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "sdk/Host.h"
#include "snapin/Menus.h"
#include "snapin/NodeTree.h"
#include "snapin/PropertyViews.h"
#include "snapin/ResultViews.h"
#include "snapin/SnapInContext.h"

namespace bw::snapin {

class CommandHandlers {
 public:
  CommandHandlers(SnapInContext& context, NodeTree& tree, ResultViews& lists,
                  PropertyViews& properties, Menus& menus);

  // Runs the handler of `itemName`; false when there is none.
  bool Click(const std::string& itemName, int index, const sdk::Selection& selection);

  void mnuAddSQLServer_Click(int index, const sdk::Selection& selection);
  void mnuSQLServerProperties_Click(int index, const sdk::Selection& selection);
  void mnuDetachSQLServer_Click(int index, const sdk::Selection& selection);
  void mnuStartSQLServer_Click(int index, const sdk::Selection& selection);
  void mnuStopSQLServer_Click(int index, const sdk::Selection& selection);
  void mnuAddNewDatabase_Click(int index, const sdk::Selection& selection);
  void mnuOpenDatabase_Click(int index, const sdk::Selection& selection);
  void mnuCloseDatabase_Click(int index, const sdk::Selection& selection);
  void mnuDeleteDatabase_Click(int index, const sdk::Selection& selection);
  void mnuChangeOwner_Click(int index, const sdk::Selection& selection);
  void mnuShrinkLogfile_Click(int index, const sdk::Selection& selection);
  void mnuAddCatalog_Click(int index, const sdk::Selection& selection);
  void mnuRemoveCatalog_Click(int index, const sdk::Selection& selection);
  void mnuGrantLogin_Click(int index, const sdk::Selection& selection);
  void mnuLoginProperties_Click(int index, const sdk::Selection& selection);
  void mnuRevokeLogin_Click(int index, const sdk::Selection& selection);
  void mnuNewDatabaseUser_Click(int index, const sdk::Selection& selection);
  void mnuRevokeDBAccess_Click(int index, const sdk::Selection& selection);
  void mnuUserProperties_Click(int index, const sdk::Selection& selection);

 private:
  using Handler = void (CommandHandlers::*)(int, const sdk::Selection&);
  // The current view when it was set up for `mark`, else nullptr.
  sdk::ResultView* CurrentViewMarked(const std::string& mark);
  void RemoveCurrentListItem(const sdk::ListItem& item);

  SnapInContext& m_Context;
  NodeTree& m_Tree;
  ResultViews& m_Lists;
  PropertyViews& m_Properties;
  Menus& m_Menus;
  std::map<std::string, Handler> m_Handlers;
};

}  // namespace bw::snapin
