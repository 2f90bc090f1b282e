// The snap-in as the console host sees it: its declarations and the events
// the host raises, and the four C entry points of a snap-in library.
//
// A snap-in library is loaded with dlopen. Register writes the library's
// registration for the console (its own path included) into the per-user
// hive; Unregister removes it; GetClassObject creates the snap-in (the
// caller owns it and deletes it before unloading); CanUnload tells whether
// no snap-in object is alive any more.
#pragma once

#include <string>
#include <vector>

#include "sdk/Definitions.h"
#include "sdk/Host.h"
#include "sdk/Results.h"
#include "sdk/Scope.h"
#include "sdk/StatementLog.h"

namespace bw::sdk {

// Raised when the host's interface and the library's differ.
inline constexpr int kInterfaceVersion = 2;

class SnapIn {
 public:
  virtual ~SnapIn() = default;

  virtual std::string DisplayName() const = 0;
  virtual std::string Description() const = 0;
  virtual std::string Version() const = 0;
  // The node type of the static root node and every other declared type.
  virtual std::string RootNodeType() const = 0;
  virtual const std::vector<NodeTypeDef>& NodeTypes() const = 0;

  // SnapIn_Initialize: the host is usable from here on and outlives the
  // snap-in.
  virtual void Initialize(Host& host) = 0;
  virtual void ScopeItemsInitialize(ScopeItem& item) = 0;
  virtual void ScopeItemsExpand(ScopeItem& item) = 0;
  virtual void ScopeItemsRename(ScopeItem& item, const std::string& newName) = 0;
  virtual void ResultViewsInitialize(ResultView& view) = 0;
  virtual void ResultViewsListItemDblClick(ResultView& view, ListItem& item, bool& doDefault) = 0;
  virtual void ViewsAddTopMenuItems(const Selection& selection, ContextMenu& menu,
                                    bool insertionAllowed) = 0;
  virtual void ViewsSelect(const Selection& selection, bool selected, ConsoleVerbs& verbs) = 0;
  virtual void ViewsSetControlbar() = 0;
  // A menu item's click, by the item's name; `index` its 1-based position.
  virtual void MenuClick(const std::string& itemName, int index, const Selection& selection) = 0;
  // What the snap-in sent to its servers, or nullptr when it keeps no log.
  // Owned by the snap-in and alive as long as it is.
  virtual StatementLog* Log() = 0;
};

// The entry points' C names and types.
inline constexpr char kRegisterEntry[] = "DllRegisterServer";
inline constexpr char kUnregisterEntry[] = "DllUnregisterServer";
inline constexpr char kGetClassObjectEntry[] = "DllGetClassObject";
inline constexpr char kCanUnloadEntry[] = "DllCanUnloadNow";
// 0 on success, else a negative error number.
using RegisterFunction = int (*)();
using UnregisterFunction = int (*)();
// nullptr when `interfaceVersion` is not the library's.
using GetClassObjectFunction = SnapIn* (*)(int interfaceVersion);
// 0 when the library may be unloaded.
using CanUnloadFunction = int (*)();

// Where registrations live in the per-user hive: one sub-key per snap-in
// (its class id) with the values "Path", "Name" and "Description".
inline constexpr char kSnapInsKey[] = "Software\\Brindlewick Console\\SnapIns";

}  // namespace bw::sdk
