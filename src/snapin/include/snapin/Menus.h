// The snap-in's designer menus and which one a selection is offered, with
// the Start/Stop and full-text item states.
#pragma once

#include <map>
#include <string>

#include "sdk/Definitions.h"
#include "sdk/Host.h"
#include "snapin/SnapInContext.h"

namespace bw::snapin {

class Menus {
 public:
  Menus();

  void Views_AddTopMenuItems(const sdk::Selection& selection, sdk::ContextMenu& menu,
                             bool insertionAllowed);

  // A top menu or item by name (states kept from the last offer).
  sdk::Menu* Find(const std::string& name);

 private:
  void Offer(const std::string& topName, sdk::ContextMenu& menu);
  void SetServiceStates(const sdk::Selection& selection);
  void SetFullTextStates(const sdk::Selection& selection);

  std::map<std::string, sdk::Menu> m_Top;
};

}  // namespace bw::snapin
