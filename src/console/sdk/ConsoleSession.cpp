#include "sdk/ConsoleSession.h"

#include <algorithm>
#include <stdexcept>

namespace bw::sdk {

namespace {

// A view for a node of no declared type: its children by name.
ListViewDef PlainView() {
  return ListViewDef{"", {{"NAME", "Name", kAutoWidth}}, ViewMode::Icons};
}

}  // namespace

ConsoleSession::ConsoleSession(SnapIn& snapIn, HostPlatform& platform)
    : m_SnapIn(snapIn), m_Platform(platform) {
  for (const auto& type : m_SnapIn.NodeTypes()) m_Types[type.name] = &type;
  m_ChangeHook = [this] { ++m_Revision; };
  m_RemoveHook = [this](ModelItem& item) { Forget(item); };
}

ConsoleSession::~ConsoleSession() = default;

void ConsoleSession::Start() {
  m_SnapIn.Initialize(*this);
  std::string type = m_SnapIn.RootNodeType();
  m_Root = std::make_unique<ModelItem>("StaticNode", type, true, nullptr, m_NextSerial++);
  m_Root->SetChangeHook(&m_ChangeHook);
  m_Root->SetRemoveHook(&m_RemoveHook);
  m_ByName[m_Root->Name()] = m_Root.get();
  m_Root->SetDisplayName(m_SnapIn.DisplayName());
  const NodeTypeDef* def = TypeOf(*m_Root);
  m_Root->SetHasChildren(def != nullptr && !def->automaticChildren.empty());
  m_SnapIn.ScopeItemsInitialize(*m_Root);
  m_SnapIn.ViewsSetControlbar();
}

const NodeTypeDef* ConsoleSession::TypeOf(const ScopeItem& item) const {
  auto found = m_Types.find(item.NodeTypeName());
  return found == m_Types.end() ? nullptr : found->second;
}

ListViewDef ConsoleSession::ViewOf(const ModelItem& item) const {
  const NodeTypeDef* def = TypeOf(item);
  return def != nullptr ? def->view : PlainView();
}

ModelItem* ConsoleSession::FindItem(const std::string& name) const {
  auto found = m_ByName.find(name);
  return found == m_ByName.end() ? nullptr : found->second;
}

ModelItem* ConsoleSession::FindSerial(std::uint64_t serial) const {
  for (const auto& [name, item] : m_ByName) {
    if (item->Serial() == serial) return item;
  }
  return nullptr;
}

ModelItem& ConsoleSession::Insert(const std::string& name, const std::string& nodeType,
                                  bool predefined, ScopeItem& parent, bool hasChildren,
                                  ScopeItem* after) {
  if (name.empty() || m_ByName.count(name) != 0) {
    throw std::invalid_argument("a scope item named '" + name + "' already exists");
  }
  auto* owner = dynamic_cast<ModelItem*>(&parent);
  if (owner == nullptr) throw std::invalid_argument("the parent is not an item of this console");
  auto item = std::make_unique<ModelItem>(name, nodeType, predefined, owner, m_NextSerial++);
  item->SetChangeHook(&m_ChangeHook);
  item->SetRemoveHook(&m_RemoveHook);
  item->SetHasChildren(hasChildren);
  ModelItem& added = *item;
  auto& siblings = owner->Owned();
  auto position = siblings.end();
  if (after != nullptr) {
    position = std::find_if(siblings.begin(), siblings.end(),
                            [&](const auto& sibling) { return sibling.get() == after; });
    if (position != siblings.end()) ++position;
  }
  siblings.insert(position, std::move(item));
  m_ByName[name] = &added;
  ++m_Revision;
  if (predefined) {
    // A predefined node shows its type's name until the snap-in labels it.
    added.SetDisplayName(nodeType);
  }
  m_SnapIn.ScopeItemsInitialize(added);
  return added;
}

ScopeItem& ConsoleSession::AddPredefined(const std::string& nodeType, const std::string& name,
                                         ScopeItem& parent, bool hasChildren, ScopeItem* after) {
  if (m_Types.count(nodeType) == 0) {
    throw std::invalid_argument("the snap-in declares no node type '" + nodeType + "'");
  }
  return Insert(name, nodeType, true, parent, hasChildren, after);
}

ScopeItem& ConsoleSession::AddPlain(const std::string& name, ScopeItem& parent, bool hasChildren,
                                    ScopeItem* after) {
  return Insert(name, "", false, parent, hasChildren, after);
}

void ConsoleSession::Forget(ModelItem& item) {
  for (auto& child : item.Owned()) Forget(*child);
  m_ByName.erase(item.Name());
  if (m_View && &m_View->Item() == &item) m_Retired.push_back(std::move(m_View));
  ++m_Revision;
}

bool ConsoleSession::Remove(const std::string& name) {
  ModelItem* item = FindItem(name);
  if (item == nullptr || item->ParentItem() == nullptr) return false;
  Forget(*item);
  auto& siblings = item->ParentItem()->Owned();
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [&](const auto& sibling) { return sibling.get() == item; }),
                 siblings.end());
  return true;
}

void ConsoleSession::MakeAutomaticChildren(ModelItem& item) {
  if (!item.Predefined() || item.AutomaticChildrenMade()) return;
  item.MarkAutomaticChildrenMade();
  const NodeTypeDef* def = TypeOf(item);
  if (def == nullptr) return;
  for (const auto& childType : def->automaticChildren) {
    std::string name = item.Name() + "." + childType;
    if (m_ByName.count(name) != 0) continue;
    Insert(name, childType, true, item, false, nullptr);
  }
}

void ConsoleSession::Expand(ModelItem& item) {
  m_Retired.clear();
  if (item.ExpandedOnce()) return;
  MakeAutomaticChildren(item);
  m_SnapIn.ScopeItemsExpand(item);
  item.MarkExpanded();
  ++m_Revision;
}

void ConsoleSession::Select(ModelItem& item) {
  m_Retired.clear();
  ListViewDef definition = ViewOf(item);
  // A view of child nodes needs them: the console expands the node first.
  if (definition.mode == ViewMode::Icons) Expand(item);
  if (m_View) m_Retired.push_back(std::move(m_View));
  m_View = std::make_unique<ModelResultView>(item, definition);
  m_SnapIn.ResultViewsInitialize(*m_View);
  m_Verbs.SetRenameEnabled(false);
  if (FindSerial(item.Serial()) == &item) m_SnapIn.ViewsSelect(SelectionOf(item), true, m_Verbs);
}

Selection ConsoleSession::SelectionOf(ModelItem& item) const {
  Selection selection;
  selection.scopeItems.push_back(&item);
  return selection;
}

Selection ConsoleSession::SelectionOf(const std::vector<ListItem*>& items) const {
  Selection selection;
  selection.listItems = items;
  return selection;
}

std::vector<Menu> ConsoleSession::MenusFor(const Selection& selection) {
  class Collector : public ContextMenu {
   public:
    void AddMenu(const Menu& menu) override { menus.push_back(menu); }
    std::vector<Menu> menus;
  } collector;
  m_SnapIn.ViewsAddTopMenuItems(selection, collector, true);
  return collector.menus;
}

void ConsoleSession::Click(const std::string& itemName, int index, const Selection& selection) {
  m_SnapIn.MenuClick(itemName, index, selection);
}

bool ConsoleSession::Rename(ModelItem& item, const std::string& newName) {
  if (!m_View || &m_View->Item() != &item || !m_Verbs.RenameEnabled()) return false;
  m_SnapIn.ScopeItemsRename(item, newName);
  return true;
}

void ConsoleSession::DoubleClick(ListItem& item) {
  if (!m_View) return;
  bool doDefault = true;
  m_SnapIn.ResultViewsListItemDblClick(*m_View, item, doDefault);
}

}  // namespace bw::sdk
