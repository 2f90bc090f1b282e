// The scope pane as a snap-in sees it: items (a node with its name, key, tag,
// image and list label) and the collection that adds, finds and removes them.
// The host owns every item; a pointer stays valid until the item (or one of
// its ancestors) is removed.
#pragma once

#include <string>
#include <vector>

#include "sdk/Definitions.h"

namespace bw::sdk {

class ScopeItem {
 public:
  virtual ~ScopeItem() = default;

  // The item's name: unique in the console, fixed when it is added.
  virtual const std::string& Name() const = 0;
  virtual const std::string& Key() const = 0;
  virtual void SetKey(const std::string& key) = 0;
  virtual const Tag& GetTag() const = 0;
  virtual void SetTag(Tag tag) = 0;
  virtual int Folder() const = 0;  // image index; 0 = none
  virtual void SetFolder(int image) = 0;

  // The node: its type name ("" for a plain item until set), label,
  // parent (nullptr for a root), children in display order.
  virtual const std::string& NodeTypeName() const = 0;
  virtual void SetNodeTypeName(const std::string& name) = 0;
  virtual const std::string& DisplayName() const = 0;
  virtual void SetDisplayName(const std::string& name) = 0;
  virtual ScopeItem* Parent() const = 0;
  virtual std::vector<ScopeItem*> Children() const = 0;
  virtual bool HasChildren() const = 0;
  virtual void SetHasChildren(bool hasChildren) = 0;
  // True once the host has raised ScopeItems_Expand for the item.
  virtual bool ExpandedOnce() const = 0;

  // The columns of the item's row in its parent's list, and its texts.
  virtual void AddColumn(const std::string& key, const std::string& header) = 0;
  virtual void SetListSubItem(const std::string& key, const std::string& text) = 0;
  virtual std::string ListSubItem(const std::string& key) const = 0;

  // Removes every child item (and their children).
  virtual void RemoveChildren() = 0;
};

class ScopeItems {
 public:
  virtual ~ScopeItems() = default;
  // Adds a node of a declared type, or a plain node, as the last child of
  // `parent` (or right after `after` when given, a child of `parent`). The
  // host raises ScopeItems_Initialize for it before returning. A name already
  // in use raises std::invalid_argument.
  virtual ScopeItem& AddPredefined(const std::string& nodeType, const std::string& name,
                                   ScopeItem& parent, bool hasChildren,
                                   ScopeItem* after = nullptr) = 0;
  virtual ScopeItem& AddPlain(const std::string& name, ScopeItem& parent, bool hasChildren,
                              ScopeItem* after = nullptr) = 0;
  virtual ScopeItem* Find(const std::string& name) const = 0;
  // Removes the item with its children; false when there is none.
  virtual bool Remove(const std::string& name) = 0;
};

}  // namespace bw::sdk
