// SnapIn1: the snap-in object the console creates. It declares the node types
// and menus, owns the registered servers and the interval timer, and hands
// every console event to the part of the snap-in that handles it. No error
// leaves an event: what a command does not report itself is shown here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/SnapIn.h"
#include "snapin/CommandHandlers.h"
#include "snapin/Menus.h"
#include "snapin/NodeTree.h"
#include "snapin/PropertyViews.h"
#include "snapin/ResultViews.h"
#include "snapin/SnapInContext.h"
#include "snapin/SqlLogFeed.h"
#include "support/CTimer.h"

namespace bw::snapin {

class SnapIn1 : public sdk::SnapIn {
 public:
  SnapIn1();
  ~SnapIn1() override;

  std::string DisplayName() const override;
  std::string Description() const override;
  std::string Version() const override { return "1.0"; }
  std::string RootNodeType() const override { return "Static Node"; }
  const std::vector<sdk::NodeTypeDef>& NodeTypes() const override;

  void Initialize(sdk::Host& host) override;
  void ScopeItemsInitialize(sdk::ScopeItem& item) override;
  void ScopeItemsExpand(sdk::ScopeItem& item) override;
  void ScopeItemsRename(sdk::ScopeItem& item, const std::string& newName) override;
  void ResultViewsInitialize(sdk::ResultView& view) override;
  void ResultViewsListItemDblClick(sdk::ResultView& view, sdk::ListItem& item,
                                   bool& doDefault) override;
  void ViewsAddTopMenuItems(const sdk::Selection& selection, sdk::ContextMenu& menu,
                            bool insertionAllowed) override;
  void ViewsSelect(const sdk::Selection& selection, bool selected,
                   sdk::ConsoleVerbs& verbs) override;
  void ViewsSetControlbar() override;
  void MenuClick(const std::string& itemName, int index, const sdk::Selection& selection) override;
  sdk::StatementLog* Log() override { return &m_Log; }

  // The registered servers (nullptr until the server group node exists).
  Servers* GetServers() { return m_Context.m_Servers.get(); }
  CTimer& Timer() { return m_CTimer; }

  // The help file the console offers for the snap-in.
  static constexpr const char* kHelpFile = "BWAdmin.chm";
  // How many SnapIn1 objects are alive (the library may unload at 0).
  static int LiveObjects();

 private:
  void m_CTimer_Timer();

  SnapInContext m_Context;
  PropertyViews m_Properties;
  ResultViews m_Lists;
  NodeTree m_Tree;
  Menus m_Menus;
  CommandHandlers m_Commands;
  CTimer m_CTimer;
  SqlLogFeed m_Log;
};

}  // namespace bw::snapin
