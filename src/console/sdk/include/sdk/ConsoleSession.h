// One snap-in in a console: its static node and the tree below it, the view
// of the selected node, and the rules by which a console raises the
// snap-in's events (initialise every new node, expand once, set up a view on
// selection, offer menus, rename only where the verb is enabled). The
// console's own services come from a HostPlatform; bwconsole draws the
// session with Qt, the test host drives it directly.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdk/ConsoleModel.h"
#include "sdk/Host.h"
#include "sdk/SnapIn.h"

namespace bw::sdk {

// The services only a real console has.
class HostPlatform {
 public:
  virtual ~HostPlatform() = default;
  virtual void SetBusy(bool busy) = 0;
  virtual void ProcessEvents() = 0;
  virtual int LogicalDpiX() = 0;
  virtual int ShowMessage(const std::string& text, int style, const std::string& caption) = 0;
  virtual int SetTimer(int intervalMs, std::function<void()> tick) = 0;
  virtual void KillTimer(int id) = 0;
};

class ConsoleSession final : public Host, public ScopeItems {
 public:
  ConsoleSession(SnapIn& snapIn, HostPlatform& platform);
  ~ConsoleSession() override;
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // SnapIn_Initialize, the static node with its initialisation, and the
  // control bar of the first view.
  void Start();

  bool Started() const { return m_Root != nullptr; }
  ModelItem& Root() { return *m_Root; }
  SnapIn& GetSnapIn() { return m_SnapIn; }
  const NodeTypeDef* TypeOf(const ScopeItem& item) const;

  // What a user does, raising the snap-in's events.
  void Expand(ModelItem& item);
  void Select(ModelItem& item);
  ModelResultView* View() { return m_View.get(); }
  // The menus the snap-in offers for `selection` (top menus, their items as
  // children), and a click on one of their items.
  std::vector<Menu> MenusFor(const Selection& selection);
  void Click(const std::string& itemName, int index, const Selection& selection);
  bool RenameEnabled() const { return m_Verbs.RenameEnabled(); }
  // ScopeItems_Rename for the selected node, when the verb allows it.
  bool Rename(ModelItem& item, const std::string& newName);
  void DoubleClick(ListItem& item);
  // The selection of a node, or of list items of the current view.
  Selection SelectionOf(ModelItem& item) const;
  Selection SelectionOf(const std::vector<ListItem*>& items) const;

  // Counts changes to the tree, so a host redraws it only when it moved.
  std::uint64_t TreeRevision() const { return m_Revision; }
  ModelItem* FindItem(const std::string& name) const;
  ModelItem* FindSerial(std::uint64_t serial) const;

  // Host.
  ScopeItems& GetScopeItems() override { return *this; }
  ResultView* CurrentResultView() override { return m_View.get(); }
  void SetBusy(bool busy) override { m_Platform.SetBusy(busy); }
  void ProcessEvents() override { m_Platform.ProcessEvents(); }
  int LogicalDpiX() override { return m_Platform.LogicalDpiX(); }
  int ShowMessage(const std::string& text, int style, const std::string& caption) override {
    return m_Platform.ShowMessage(text, style, caption);
  }
  int SetTimer(int intervalMs, std::function<void()> tick) override {
    return m_Platform.SetTimer(intervalMs, std::move(tick));
  }
  void KillTimer(int id) override { m_Platform.KillTimer(id); }

  // ScopeItems.
  ScopeItem& AddPredefined(const std::string& nodeType, const std::string& name, ScopeItem& parent,
                           bool hasChildren, ScopeItem* after = nullptr) override;
  ScopeItem& AddPlain(const std::string& name, ScopeItem& parent, bool hasChildren,
                      ScopeItem* after = nullptr) override;
  ScopeItem* Find(const std::string& name) const override { return FindItem(name); }
  bool Remove(const std::string& name) override;

 private:
  class Verbs : public ConsoleVerbs {
   public:
    void SetRenameEnabled(bool enabled) override { m_Rename = enabled; }
    bool RenameEnabled() const override { return m_Rename; }

   private:
    bool m_Rename = false;
  };

  ModelItem& Insert(const std::string& name, const std::string& nodeType, bool predefined,
                    ScopeItem& parent, bool hasChildren, ScopeItem* after);
  void MakeAutomaticChildren(ModelItem& item);
  void Forget(ModelItem& item);
  ListViewDef ViewOf(const ModelItem& item) const;

  SnapIn& m_SnapIn;
  HostPlatform& m_Platform;
  std::map<std::string, const NodeTypeDef*> m_Types;
  std::unique_ptr<ModelItem> m_Root;
  std::map<std::string, ModelItem*> m_ByName;
  std::unique_ptr<ModelResultView> m_View;
  // Views whose node went away while an event ran; freed at the next action.
  std::vector<std::unique_ptr<ModelResultView>> m_Retired;
  Verbs m_Verbs;
  std::uint64_t m_Revision = 0;
  std::uint64_t m_NextSerial = 1;
  std::function<void()> m_ChangeHook;
  std::function<void(ModelItem&)> m_RemoveHook;
};

}  // namespace bw::sdk
