// The result views: which filler a selected node's view runs, the login and
// archive-user lists, and a double-click on one of their rows.
#pragma once

#include "sdk/Results.h"
#include "snapin/SnapInContext.h"

namespace bw::snapin {

class PropertyViews;

class ResultViews {
 public:
  ResultViews(SnapInContext& context, PropertyViews& properties)
      : m_Context(context), m_Properties(properties) {}

  void ResultViews_Initialize(sdk::ResultView& view);
  void ResultViews_ListItemDblClick(sdk::ResultView& view, sdk::ListItem& item, bool& doDefault);

  void FillLoginList(sdk::ResultView& view);
  void FillUserList(sdk::ResultView& view);

 private:
  SnapInContext& m_Context;
  PropertyViews& m_Properties;
};

}  // namespace bw::snapin
