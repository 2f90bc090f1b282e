// The console's panes in memory: the scope tree and the result view of the
// selected node, implementing the host interface's item, list and view
// classes. Both console hosts keep their state here (bwconsole draws it with
// Qt, the test host reads it directly), so the snap-in meets the same
// behaviour in tests as in the program.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdk/Results.h"
#include "sdk/Scope.h"

namespace bw::sdk {

class ModelItem final : public ScopeItem {
 public:
  ModelItem(std::string name, std::string nodeType, bool predefined, ModelItem* parent,
            std::uint64_t serial);

  const std::string& Name() const override { return m_Name; }
  const std::string& Key() const override { return m_Key; }
  void SetKey(const std::string& key) override;
  const Tag& GetTag() const override { return m_Tag; }
  void SetTag(Tag tag) override { m_Tag = std::move(tag); }
  int Folder() const override { return m_Folder; }
  void SetFolder(int image) override;
  const std::string& NodeTypeName() const override { return m_NodeType; }
  void SetNodeTypeName(const std::string& name) override;
  const std::string& DisplayName() const override { return m_DisplayName; }
  void SetDisplayName(const std::string& name) override;
  ScopeItem* Parent() const override { return m_Parent; }
  std::vector<ScopeItem*> Children() const override;
  bool HasChildren() const override { return m_HasChildren; }
  void SetHasChildren(bool hasChildren) override;
  bool ExpandedOnce() const override { return m_ExpandedOnce; }
  void AddColumn(const std::string& key, const std::string& header) override;
  void SetListSubItem(const std::string& key, const std::string& text) override;
  std::string ListSubItem(const std::string& key) const override;
  void RemoveChildren() override;

  // Host side.
  std::uint64_t Serial() const { return m_Serial; }
  bool Predefined() const { return m_Predefined; }
  void MarkExpanded() { m_ExpandedOnce = true; }
  bool AutomaticChildrenMade() const { return m_AutomaticMade; }
  void MarkAutomaticChildrenMade() { m_AutomaticMade = true; }
  ModelItem* ParentItem() const { return m_Parent; }
  const std::vector<std::unique_ptr<ModelItem>>& Owned() const { return m_Children; }
  std::vector<std::unique_ptr<ModelItem>>& Owned() { return m_Children; }
  // Called for every change; the model counts revisions through it.
  void SetChangeHook(std::function<void()>* hook) { m_Changed = hook; }
  // Called before a child subtree goes away.
  void SetRemoveHook(std::function<void(ModelItem&)>* hook) { m_Removing = hook; }

 private:
  void Changed() const;

  std::string m_Name;
  std::string m_Key;
  Tag m_Tag;
  int m_Folder = 0;
  std::string m_NodeType;
  std::string m_DisplayName;
  bool m_Predefined;
  ModelItem* m_Parent;
  std::vector<std::unique_ptr<ModelItem>> m_Children;
  bool m_HasChildren = false;
  bool m_ExpandedOnce = false;
  bool m_AutomaticMade = false;
  std::vector<std::pair<std::string, std::string>> m_Columns;
  std::map<std::string, std::string> m_SubItems;
  std::uint64_t m_Serial;
  std::function<void()>* m_Changed = nullptr;
  std::function<void(ModelItem&)>* m_Removing = nullptr;
};

class ModelListItem final : public ListItem {
 public:
  ModelListItem(std::string key, std::string text, int index)
      : m_Key(std::move(key)), m_Text(std::move(text)), m_Index(index) {}
  const std::string& Key() const override { return m_Key; }
  const std::string& Text() const override { return m_Text; }
  int Index() const override { return m_Index; }
  void SetIndex(int index) { m_Index = index; }
  int Icon() const override { return m_Icon; }
  void SetIcon(int image) override { m_Icon = image; }
  const Tag& GetTag() const override { return m_Tag; }
  void SetTag(Tag tag) override { m_Tag = std::move(tag); }
  void SetSubItem(int index, const std::string& key, const std::string& text) override;
  std::string SubItem(int index) const override;
  std::string SubItem(const std::string& key) const override;

 private:
  struct Sub {
    int index;
    std::string key;
    std::string text;
  };
  std::string m_Key;
  std::string m_Text;
  int m_Index;
  int m_Icon = 0;
  Tag m_Tag;
  std::vector<Sub> m_SubItems;
};

class ModelListView final : public ListView {
 public:
  explicit ModelListView(const ListViewDef& definition);
  void SetColumnHeader(const std::string& key, const std::string& text) override;
  std::string ColumnHeader(const std::string& key) const override;
  void Clear() override;
  ListItem& Add(const std::string& key, const std::string& text) override;
  bool Contains(const std::string& key) const override;
  void Remove(int index) override;
  std::vector<ListItem*> Items() const override;

  const std::vector<ColumnDef>& Columns() const { return m_Columns; }
  ViewMode Mode() const { return m_Mode; }
  // Counts every change, so a host redraws only what moved.
  std::uint64_t Revision() const { return m_Revision; }

 private:
  std::vector<ColumnDef> m_Columns;
  ViewMode m_Mode;
  std::vector<std::unique_ptr<ModelListItem>> m_Items;
  std::uint64_t m_Revision = 0;
};

class ModelResultView final : public ResultView {
 public:
  ModelResultView(ModelItem& item, const ListViewDef& definition)
      : m_Item(item), m_List(definition) {}
  ScopeItem& GetScopeItem() const override { return m_Item; }
  ModelItem& Item() const { return m_Item; }
  const std::string& Mark() const override { return m_Mark; }
  void SetMark(const std::string& mark) override { m_Mark = mark; }
  ListView& GetListView() override { return m_List; }
  ModelListView& List() { return m_List; }

 private:
  ModelItem& m_Item;
  std::string m_Mark;
  ModelListView m_List;
};

}  // namespace bw::sdk
