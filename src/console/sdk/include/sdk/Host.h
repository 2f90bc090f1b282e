// What the console host offers a snap-in besides its panes: the selection and
// context menu of an event, the console verbs, and the host's services (busy
// pointer, message boxes, timers on the console's event loop, screen facts).
// Everything runs on the console's one thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sdk/Definitions.h"

namespace bw::sdk {

class ScopeItem;
class ScopeItems;
class ListItem;
class ResultView;

// What an event is about: scope items (a tree node, or a node chosen in its
// parent's list) or list items of the current result view.
struct Selection {
  std::vector<ScopeItem*> scopeItems;
  std::vector<ListItem*> listItems;
  int ListItemCount() const { return static_cast<int>(listItems.size()); }
};

class ContextMenu {
 public:
  virtual ~ContextMenu() = default;
  // Offers a top menu; its children appear as the menu's items.
  virtual void AddMenu(const Menu& menu) = 0;
};

class ConsoleVerbs {
 public:
  virtual ~ConsoleVerbs() = default;
  virtual void SetRenameEnabled(bool enabled) = 0;
  virtual bool RenameEnabled() const = 0;
};

class Host {
 public:
  virtual ~Host() = default;
  virtual ScopeItems& GetScopeItems() = 0;
  // The view of the selected node, or nullptr.
  virtual ResultView* CurrentResultView() = 0;

  // The busy pointer while true; calls nest.
  virtual void SetBusy(bool busy) = 0;
  // Lets the window repaint and handle pending input.
  virtual void ProcessEvents() = 0;
  // The screen's horizontal logical resolution, in dots per inch.
  virtual int LogicalDpiX() = 0;

  // A modal message box. `style` and the result use the platform's
  // message-box numbers (buttons, icon, default button; Ok 1 … No 7).
  virtual int ShowMessage(const std::string& text, int style, const std::string& caption) = 0;

  // A periodic timer on the console's event loop: `tick` runs every
  // `intervalMs` until killed. Returns its id (never 0), or 0 when none could
  // be made.
  virtual int SetTimer(int intervalMs, std::function<void()> tick) = 0;
  virtual void KillTimer(int id) = 0;
};

}  // namespace bw::sdk
