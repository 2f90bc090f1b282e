#include "HeadlessConsole.h"

#include <stdexcept>

#include "support/CTimer.h"
#include "support/MessageService.h"

namespace bw::testing {

HeadlessConsole::HeadlessConsole()
    : m_SnapIn(std::make_unique<snapin::SnapIn1>()),
      m_Session(std::make_unique<sdk::ConsoleSession>(*m_SnapIn, *this)) {
  m_TimerSystem = std::make_unique<snapin::HostTimerSystem>(*m_Session);
  SetTimerSystem(m_TimerSystem.get());
}

HeadlessConsole::~HeadlessConsole() {
  // The snap-in stops its timer through the session: it goes first.
  m_SnapIn.reset();
  m_Session.reset();
  SetTimerSystem(nullptr);
}

void HeadlessConsole::Start() {
  m_Session->Start();
}

sdk::ModelItem& HeadlessConsole::Node(const std::string& name) {
  sdk::ModelItem* item = m_Session->FindItem(name);
  if (item == nullptr) throw std::out_of_range("no node named " + name);
  return *item;
}

std::vector<std::string> HeadlessConsole::ChildNames(const std::string& name) {
  std::vector<std::string> names;
  for (sdk::ScopeItem* child : Node(name).Children()) names.push_back(child->Name());
  return names;
}

sdk::ModelItem& HeadlessConsole::Expand(const std::string& name) {
  sdk::ModelItem& item = Node(name);
  m_Session->Expand(item);
  return item;
}

sdk::ModelItem& HeadlessConsole::Select(const std::string& name) {
  sdk::ModelItem& item = Node(name);
  m_Session->Select(item);
  return item;
}

std::vector<std::vector<std::string>> HeadlessConsole::Rows() {
  std::vector<std::vector<std::string>> rows;
  sdk::ModelResultView* view = m_Session->View();
  if (view == nullptr) return rows;
  for (sdk::ListItem* item : view->List().Items()) {
    std::vector<std::string> row;
    for (std::size_t column = 1; column <= view->List().Columns().size(); ++column) {
      row.push_back(item->SubItem(static_cast<int>(column)));
    }
    rows.push_back(row);
  }
  return rows;
}

sdk::ListItem* HeadlessConsole::Row(const std::string& key) {
  sdk::ModelResultView* view = m_Session->View();
  if (view == nullptr) return nullptr;
  for (sdk::ListItem* item : view->List().Items()) {
    if (item->Key() == key) return item;
  }
  return nullptr;
}

std::vector<sdk::Menu> HeadlessConsole::MenusOfNode(const std::string& name) {
  sdk::ModelItem& item = Select(name);
  return m_Session->MenusFor(m_Session->SelectionOf(item));
}

std::vector<sdk::Menu> HeadlessConsole::MenusOfRow(const std::string& key) {
  sdk::ListItem* row = Row(key);
  if (row == nullptr) throw std::out_of_range("no row " + key);
  return m_Session->MenusFor(m_Session->SelectionOf(std::vector<sdk::ListItem*>{row}));
}

std::vector<std::string> HeadlessConsole::ItemNames(const std::vector<sdk::Menu>& menus) {
  std::vector<std::string> names;
  for (const auto& top : menus) {
    for (const auto& item : top.children) names.push_back(item.name);
  }
  return names;
}

const sdk::Menu* HeadlessConsole::FindItem(const std::vector<sdk::Menu>& menus,
                                           const std::string& item, int& index) {
  for (const auto& top : menus) {
    index = 0;
    for (const auto& child : top.children) {
      ++index;
      if (child.name == item) return &child;
    }
  }
  throw std::out_of_range("the menu offers no " + item);
}

void HeadlessConsole::ChooseOnNode(const std::string& name, const std::string& item) {
  auto menus = MenusOfNode(name);
  int index = 0;
  FindItem(menus, item, index);
  m_Session->Click(item, index, m_Session->SelectionOf(Node(name)));
}

void HeadlessConsole::ChooseOnRow(const std::string& key, const std::string& item) {
  auto menus = MenusOfRow(key);
  int index = 0;
  FindItem(menus, item, index);
  m_Session->Click(item, index, m_Session->SelectionOf(std::vector<sdk::ListItem*>{Row(key)}));
}

void HeadlessConsole::SetBusy(bool busy) {
  m_Busy += busy ? 1 : -1;
  if (busy) ++m_BusyTimes;
}

int HeadlessConsole::ShowMessage(const std::string& text, int style, const std::string& caption) {
  return static_cast<int>(Messages().Show(text, style, caption));
}

int HeadlessConsole::SetTimer(int intervalMs, std::function<void()> tick) {
  int id = ++m_NextTimer;
  m_Timers[id] = {intervalMs, std::move(tick)};
  return id;
}

void HeadlessConsole::Fire(int id) {
  auto tick = m_Timers.at(id).second;
  tick();
}

}  // namespace bw::testing
