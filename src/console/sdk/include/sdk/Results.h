// The result pane as a snap-in sees it: the view of the selected node with its
// mark and its list. The host creates a view each time a node is selected and
// raises ResultViews_Initialize for it; the list it holds is the snap-in's to
// fill (details views) or the host's (views of child nodes).
#pragma once

#include <string>
#include <vector>

#include "sdk/Definitions.h"

namespace bw::sdk {

class ScopeItem;

class ListItem {
 public:
  virtual ~ListItem() = default;
  virtual const std::string& Key() const = 0;
  virtual const std::string& Text() const = 0;
  virtual int Index() const = 0;  // 1-based position in the list
  virtual int Icon() const = 0;
  virtual void SetIcon(int image) = 0;
  virtual const Tag& GetTag() const = 0;
  virtual void SetTag(Tag tag) = 0;
  // Sub-items by 1-based index (with the key they were added with) or key;
  // an unknown one reads as "".
  virtual void SetSubItem(int index, const std::string& key, const std::string& text) = 0;
  virtual std::string SubItem(int index) const = 0;
  virtual std::string SubItem(const std::string& key) const = 0;
};

class ListView {
 public:
  virtual ~ListView() = default;
  // The header text of a declared column; unknown keys are ignored.
  virtual void SetColumnHeader(const std::string& key, const std::string& text) = 0;
  virtual std::string ColumnHeader(const std::string& key) const = 0;
  virtual void Clear() = 0;
  // Adds an item at the end. A key already in the list raises
  // std::invalid_argument and adds nothing.
  virtual ListItem& Add(const std::string& key, const std::string& text) = 0;
  virtual bool Contains(const std::string& key) const = 0;
  virtual void Remove(int index) = 0;  // 1-based; out of range: nothing
  virtual std::vector<ListItem*> Items() const = 0;
};

class ResultView {
 public:
  virtual ~ResultView() = default;
  virtual ScopeItem& GetScopeItem() const = 0;
  // A text the snap-in keeps on the view (the node type it was set up for).
  virtual const std::string& Mark() const = 0;
  virtual void SetMark(const std::string& mark) = 0;
  virtual ListView& GetListView() = 0;
};

}  // namespace bw::sdk
