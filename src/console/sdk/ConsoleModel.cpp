#include "sdk/ConsoleModel.h"

#include <algorithm>
#include <stdexcept>

namespace bw::sdk {

ModelItem::ModelItem(std::string name, std::string nodeType, bool predefined, ModelItem* parent,
                     std::uint64_t serial)
    : m_Name(std::move(name)),
      m_NodeType(std::move(nodeType)),
      m_Predefined(predefined),
      m_Parent(parent),
      m_Serial(serial) {}

void ModelItem::Changed() const {
  if (m_Changed != nullptr && *m_Changed) (*m_Changed)();
}

void ModelItem::SetKey(const std::string& key) {
  m_Key = key;
}

void ModelItem::SetFolder(int image) {
  m_Folder = image;
  Changed();
}

void ModelItem::SetNodeTypeName(const std::string& name) {
  m_NodeType = name;
  Changed();
}

void ModelItem::SetDisplayName(const std::string& name) {
  m_DisplayName = name;
  Changed();
}

std::vector<ScopeItem*> ModelItem::Children() const {
  std::vector<ScopeItem*> children;
  children.reserve(m_Children.size());
  for (const auto& child : m_Children) children.push_back(child.get());
  return children;
}

void ModelItem::SetHasChildren(bool hasChildren) {
  m_HasChildren = hasChildren;
  Changed();
}

void ModelItem::AddColumn(const std::string& key, const std::string& header) {
  for (auto& column : m_Columns) {
    if (column.first == key) {
      column.second = header;
      return;
    }
  }
  m_Columns.emplace_back(key, header);
}

void ModelItem::SetListSubItem(const std::string& key, const std::string& text) {
  m_SubItems[key] = text;
  Changed();
}

std::string ModelItem::ListSubItem(const std::string& key) const {
  auto found = m_SubItems.find(key);
  return found == m_SubItems.end() ? std::string() : found->second;
}

void ModelItem::RemoveChildren() {
  for (auto& child : m_Children) {
    if (m_Removing != nullptr && *m_Removing) (*m_Removing)(*child);
  }
  m_Children.clear();
  Changed();
}

void ModelListItem::SetSubItem(int index, const std::string& key, const std::string& text) {
  for (auto& sub : m_SubItems) {
    if (sub.index == index) {
      sub.key = key;
      sub.text = text;
      return;
    }
  }
  m_SubItems.push_back({index, key, text});
}

std::string ModelListItem::SubItem(int index) const {
  for (const auto& sub : m_SubItems) {
    if (sub.index == index) return sub.text;
  }
  return {};
}

std::string ModelListItem::SubItem(const std::string& key) const {
  for (const auto& sub : m_SubItems) {
    if (sub.key == key) return sub.text;
  }
  return {};
}

ModelListView::ModelListView(const ListViewDef& definition)
    : m_Columns(definition.columns), m_Mode(definition.mode) {}

void ModelListView::SetColumnHeader(const std::string& key, const std::string& text) {
  for (auto& column : m_Columns) {
    if (column.key == key) {
      column.header = text;
      ++m_Revision;
    }
  }
}

std::string ModelListView::ColumnHeader(const std::string& key) const {
  for (const auto& column : m_Columns) {
    if (column.key == key) return column.header;
  }
  return {};
}

void ModelListView::Clear() {
  m_Items.clear();
  ++m_Revision;
}

ListItem& ModelListView::Add(const std::string& key, const std::string& text) {
  if (Contains(key)) throw std::invalid_argument("the list already holds the key " + key);
  m_Items.push_back(
      std::make_unique<ModelListItem>(key, text, static_cast<int>(m_Items.size()) + 1));
  ++m_Revision;
  return *m_Items.back();
}

bool ModelListView::Contains(const std::string& key) const {
  return !key.empty() && std::any_of(m_Items.begin(), m_Items.end(),
                                     [&](const auto& item) { return item->Key() == key; });
}

void ModelListView::Remove(int index) {
  if (index < 1 || index > static_cast<int>(m_Items.size())) return;
  m_Items.erase(m_Items.begin() + (index - 1));
  for (std::size_t i = 0; i < m_Items.size(); ++i) m_Items[i]->SetIndex(static_cast<int>(i) + 1);
  ++m_Revision;
}

std::vector<ListItem*> ModelListView::Items() const {
  std::vector<ListItem*> items;
  items.reserve(m_Items.size());
  for (const auto& item : m_Items) items.push_back(item.get());
  return items;
}

}  // namespace bw::sdk
