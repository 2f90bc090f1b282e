// A console without a screen: the same in-memory panes and event rules as
// bwconsole, driven by tests through what a user does (expand, select,
// right-click, choose, rename, double-click). Timers fire when a test says so;
// message boxes go to the installed message service.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdk/ConsoleSession.h"
#include "snapin/HostServices.h"
#include "snapin/SnapIn1.h"

namespace bw::testing {

class HeadlessConsole : public sdk::HostPlatform {
 public:
  HeadlessConsole();
  ~HeadlessConsole() override;

  // SnapIn_Initialize, the static node and the control bar.
  void Start();

  sdk::ConsoleSession& Session() { return *m_Session; }
  snapin::SnapIn1& SnapIn() { return *m_SnapIn; }

  // The node of that name; fails the test (std::out_of_range) when missing.
  sdk::ModelItem& Node(const std::string& name);
  bool Has(const std::string& name) const { return m_Session->FindItem(name) != nullptr; }
  std::vector<std::string> ChildNames(const std::string& name);
  sdk::ModelItem& Expand(const std::string& name);
  sdk::ModelItem& Select(const std::string& name);

  // The rows of the current view: each row its sub-items by column order.
  std::vector<std::vector<std::string>> Rows();
  sdk::ListItem* Row(const std::string& key);

  // The menu offered for a node (selecting it) or a list row; its item
  // names, captions and states.
  std::vector<sdk::Menu> MenusOfNode(const std::string& name);
  std::vector<sdk::Menu> MenusOfRow(const std::string& key);
  static std::vector<std::string> ItemNames(const std::vector<sdk::Menu>& menus);
  // Chooses an item of the node's or the row's menu (it must be offered).
  void ChooseOnNode(const std::string& name, const std::string& item);
  void ChooseOnRow(const std::string& key, const std::string& item);

  // HostPlatform.
  void SetBusy(bool busy) override;
  void ProcessEvents() override { ++m_ProcessedEvents; }
  int LogicalDpiX() override { return m_Dpi; }
  int ShowMessage(const std::string& text, int style, const std::string& caption) override;
  int SetTimer(int intervalMs, std::function<void()> tick) override;
  void KillTimer(int id) override { m_Timers.erase(id); }

  void SetDpi(int dpi) { m_Dpi = dpi; }
  int BusyDepth() const { return m_Busy; }
  int BusyTimes() const { return m_BusyTimes; }
  // The running timers' intervals by id; Fire runs one tick.
  const std::map<int, std::pair<int, std::function<void()>>>& Timers() const { return m_Timers; }
  void Fire(int id);

 private:
  static const sdk::Menu* FindItem(const std::vector<sdk::Menu>& menus, const std::string& item,
                                   int& index);

  std::unique_ptr<snapin::SnapIn1> m_SnapIn;
  std::unique_ptr<sdk::ConsoleSession> m_Session;
  std::unique_ptr<snapin::HostTimerSystem> m_TimerSystem;
  std::map<int, std::pair<int, std::function<void()>>> m_Timers;
  int m_NextTimer = 0;
  int m_Busy = 0;
  int m_BusyTimes = 0;
  int m_ProcessedEvents = 0;
  int m_Dpi = 96;
};

}  // namespace bw::testing
