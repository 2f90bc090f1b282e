// The console's main window: the scope pane (every snap-in's tree under the
// console root), the result pane (the selected node's children as icons, or
// the rows its snap-in filled), context menus with their status-bar texts,
// rename with F2 where the snap-in allows it. Everything the user does
// becomes an event of the snap-in's session; after each, the panes are
// redrawn from the session.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "QtHostPlatform.h"
#include "SnapInLibrary.h"
#include "SqlLogWindow.h"
#include "sdk/ConsoleSession.h"

class QTreeWidget;
class QTreeWidgetItem;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;
class QMenu;
class QAction;

namespace bw::console {

class ConsoleWindow : public QMainWindow {
  Q_OBJECT

 public:
  ConsoleWindow();
  ~ConsoleWindow() override;

  // Adds a loaded snap-in under the console root and starts it.
  void AddSnapIn(std::unique_ptr<SnapInLibrary> library, std::unique_ptr<sdk::SnapIn> snapIn);
  // Loads every registered snap-in; problems are shown, never fatal. At a
  // user's first start (no snap-in ever registered) `installedSnapIn`, the
  // library installed with the console, registers itself first, as an
  // installer would have done for a Windows user; once anything was
  // registered, and perhaps unregistered again, the user's choice stands.
  void LoadRegisteredSnapIns(const std::string& installedSnapIn = {});

  QTreeWidget* ScopePane() const { return m_Scope; }
  QListWidget* IconPane() const { return m_Icons; }
  QTreeWidget* DetailsPane() const { return m_Details; }
  // The tree item of the node of that name (in any snap-in), or nullptr.
  QTreeWidgetItem* ScopeItemNamed(const std::string& name) const;
  // The context menu the console would show for the selected scope node or
  // result rows (built, not shown).
  std::unique_ptr<QMenu> ContextMenuForScope(QTreeWidgetItem* item);
  std::unique_ptr<QMenu> ContextMenuForResults();
  // Starts renaming the selected node where the snap-in allows it.
  void RenameSelected();
  // View → SQL log: opens (or raises) the log window of the first snap-in
  // that keeps a log; nullptr when none does.
  SqlLogWindow* ShowSqlLog();
  QAction* SqlLogAction() const { return m_SqlLogAction; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Loaded {
    std::unique_ptr<SnapInLibrary> library;
    std::unique_ptr<sdk::SnapIn> snapIn;
    std::unique_ptr<sdk::ConsoleSession> session;
    QTreeWidgetItem* top = nullptr;
    SqlLogWindow* logWindow = nullptr;  // made when first opened; a child of the window
  };

  void Refresh();
  void SyncItem(Loaded& loaded, sdk::ModelItem& model, QTreeWidgetItem& item);
  void ShowResults();
  Loaded* SessionOf(QTreeWidgetItem* item, sdk::ModelItem** model) const;
  std::unique_ptr<QMenu> BuildMenu(Loaded& loaded, const sdk::Selection& selection,
                                   QTreeWidgetItem* renameItem);
  void OnExpanded(QTreeWidgetItem* item);
  void OnCurrentChanged(QTreeWidgetItem* item);
  void OnScopeEdited(QTreeWidgetItem* item, int column);
  void OnIconActivated(QListWidgetItem* item);
  void OnDetailsActivated(QTreeWidgetItem* item);
  void ShowProblem(const QString& text);
  template <class F>
  void Raise(F&& event);

  QtHostPlatform* m_Platform;
  QTreeWidget* m_Scope;
  QStackedWidget* m_Results;
  QListWidget* m_Icons;
  QTreeWidget* m_Details;
  QTreeWidgetItem* m_Root;
  QAction* m_SqlLogAction;
  std::vector<std::unique_ptr<Loaded>> m_Loaded;
  bool m_Syncing = false;
};

}  // namespace bw::console
