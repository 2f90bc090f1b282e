#include "ConsoleWindow.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTreeWidget>
#include <exception>
#include <set>

#include "ConsoleIcons.h"
#include "SnapInRegistry.h"
#include "sdk/Results.h"

namespace bw::console {

namespace {

constexpr int kSerialRole = Qt::UserRole;
constexpr int kSessionRole = Qt::UserRole + 1;
constexpr int kNodeRole = Qt::UserRole + 2;  // icon list: the child node's serial
constexpr int kReadyMessageMs = 0;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

ConsoleWindow::ConsoleWindow() {
  setWindowTitle("bwconsole - Console Root");
  setWindowIcon(ConsoleIcon(kIconConsoleRoot));
  m_Platform = new QtHostPlatform(this);
  m_Platform->setParent(this);
  connect(m_Platform, &QtHostPlatform::TimerTicked, this, [this] { Refresh(); });

  auto* splitter = new QSplitter(this);
  m_Scope = new QTreeWidget(splitter);
  m_Scope->setHeaderHidden(true);
  m_Scope->setAccessibleName("Scope pane");
  m_Scope->setContextMenuPolicy(Qt::CustomContextMenu);
  m_Scope->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_Scope->setIconSize(QSize(16, 16));
  // Long server names scroll rather than being cut off.
  m_Scope->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  m_Scope->header()->setStretchLastSection(false);
  m_Results = new QStackedWidget(splitter);
  m_Icons = new QListWidget(m_Results);
  m_Icons->setAccessibleName("Result pane icons");
  m_Icons->setViewMode(QListView::IconMode);
  m_Icons->setIconSize(QSize(32, 32));
  m_Icons->setGridSize(QSize(120, 72));
  m_Icons->setResizeMode(QListView::Adjust);
  m_Icons->setMovement(QListView::Static);
  m_Icons->setWordWrap(true);
  m_Icons->setContextMenuPolicy(Qt::CustomContextMenu);
  m_Details = new QTreeWidget(m_Results);
  m_Details->setAccessibleName("Result pane details");
  m_Details->setRootIsDecorated(false);
  m_Details->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_Details->setContextMenuPolicy(Qt::CustomContextMenu);
  m_Details->setAlternatingRowColors(true);
  m_Results->addWidget(m_Icons);
  m_Results->addWidget(m_Details);
  splitter->addWidget(m_Scope);
  splitter->addWidget(m_Results);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({330, 630});
  setCentralWidget(splitter);

  QMenu* file = menuBar()->addMenu("&File");
  QAction* exit = file->addAction("E&xit", this, &QWidget::close);
  exit->setShortcut(QKeySequence::Quit);
  exit->setStatusTip("Closes the console.");
  QMenu* view = menuBar()->addMenu("&View");
  m_SqlLogAction = view->addAction("&SQL log", this, [this] { ShowSqlLog(); });
  m_SqlLogAction->setObjectName("viewSqlLog");
  m_SqlLogAction->setStatusTip("Shows the statements sent to the servers, as they are sent.");
  m_SqlLogAction->setEnabled(false);
  statusBar()->showMessage("Ready", kReadyMessageMs);

  m_Root = new QTreeWidgetItem(m_Scope, QStringList("Console Root"));
  m_Root->setIcon(0, ConsoleIcon(kIconConsoleRoot));
  m_Root->setData(0, kSessionRole, -1);

  connect(m_Scope, &QTreeWidget::itemExpanded, this, &ConsoleWindow::OnExpanded);
  connect(m_Scope, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentChanged(current); });
  connect(m_Scope, &QTreeWidget::itemChanged, this, &ConsoleWindow::OnScopeEdited);
  connect(m_Scope, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& point) {
    QTreeWidgetItem* item = m_Scope->itemAt(point);
    if (item == nullptr) return;
    m_Scope->setCurrentItem(item);
    if (auto menu = ContextMenuForScope(item)) menu->exec(m_Scope->viewport()->mapToGlobal(point));
    Refresh();
  });
  auto resultsMenu = [this](QWidget* pane, const QPoint& point) {
    if (auto menu = ContextMenuForResults()) menu->exec(pane->mapToGlobal(point));
    Refresh();
  };
  connect(m_Icons, &QListWidget::customContextMenuRequested, this,
          [this, resultsMenu](const QPoint& p) { resultsMenu(m_Icons->viewport(), p); });
  connect(m_Details, &QTreeWidget::customContextMenuRequested, this,
          [this, resultsMenu](const QPoint& p) { resultsMenu(m_Details->viewport(), p); });
  connect(m_Icons, &QListWidget::itemDoubleClicked, this, &ConsoleWindow::OnIconActivated);
  connect(m_Details, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { OnDetailsActivated(item); });
  m_Scope->installEventFilter(this);
  resize(960, 600);
}

ConsoleWindow::~ConsoleWindow() {
  // Snap-ins stop their timers through their sessions, so they go first;
  // both go before the libraries that hold their code. A log window reads
  // its snap-in's log, so it goes before the snap-in.
  for (auto& loaded : m_Loaded) {
    delete loaded->logWindow;
    loaded->logWindow = nullptr;
    loaded->snapIn.reset();
    loaded->session.reset();
  }
  // The platform's timer connections hold the snap-ins' tick functions, whose
  // code lives in the libraries: they must go before the libraries do.
  delete m_Platform;
  m_Platform = nullptr;
  m_Loaded.clear();
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
  // F2 renames in the scope pane, where the snap-in enabled the verb.
  if (watched == m_Scope && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2) {
    RenameSelected();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

template <class F>
void ConsoleWindow::Raise(F&& event) {
  try {
    event();
  } catch (const std::exception& error) {
    ShowProblem(Q(error.what()));
  }
  Refresh();
}

void ConsoleWindow::ShowProblem(const QString& text) {
  QMessageBox box(QMessageBox::Warning, "bwconsole", text, QMessageBox::Ok, this);
  box.setAccessibleName("bwconsole");
  box.exec();
}

void ConsoleWindow::AddSnapIn(std::unique_ptr<SnapInLibrary> library,
                              std::unique_ptr<sdk::SnapIn> snapIn) {
  auto loaded = std::make_unique<Loaded>();
  loaded->library = std::move(library);
  loaded->snapIn = std::move(snapIn);
  loaded->session = std::make_unique<sdk::ConsoleSession>(*loaded->snapIn, *m_Platform);
  loaded->top = new QTreeWidgetItem(m_Root);
  loaded->top->setData(0, kSessionRole, static_cast<int>(m_Loaded.size()));
  Loaded& added = *loaded;
  m_Loaded.push_back(std::move(loaded));
  if (sdk::StatementLog* log = added.snapIn->Log()) {
    // Kept from the start, so the window shows what was sent before it opened.
    log->KeepRecent(true);
    m_SqlLogAction->setEnabled(true);
  }
  Raise([&] { added.session->Start(); });
  m_Root->setExpanded(true);
}

SqlLogWindow* ConsoleWindow::ShowSqlLog() {
  for (auto& loaded : m_Loaded) {
    sdk::StatementLog* log = loaded->snapIn->Log();
    if (log == nullptr) continue;
    if (loaded->logWindow == nullptr) loaded->logWindow = new SqlLogWindow(*log, this);
    loaded->logWindow->show();
    loaded->logWindow->raise();
    loaded->logWindow->activateWindow();
    return loaded->logWindow;
  }
  return nullptr;
}

void ConsoleWindow::LoadRegisteredSnapIns(const std::string& installedSnapIn) {
  std::string error;
  if (!installedSnapIn.empty() && !SnapInEverRegistered(error) && error.empty()) {
    std::string problem;
    auto library = SnapInLibrary::Load(installedSnapIn, problem);
    if (!library || !library->Register(problem))
      ShowProblem("The snap-in installed with the console could not be registered.\n" + Q(problem));
  }
  error.clear();
  auto registrations = RegisteredSnapIns(error);
  if (!error.empty()) ShowProblem("The registered snap-ins could not be read: " + Q(error));
  for (const auto& registration : registrations) {
    std::string problem;
    auto library = SnapInLibrary::Load(registration.path, problem);
    std::unique_ptr<sdk::SnapIn> snapIn;
    if (library) snapIn = library->Create(problem);
    if (!snapIn) {
      QString name = Q(registration.name.empty() ? registration.classId : registration.name);
      ShowProblem("The snap-in \"" + name + "\" could not be opened.\n" + Q(problem) +
                  "\nRegister it again with: bwconsole --register PATH");
      continue;
    }
    AddSnapIn(std::move(library), std::move(snapIn));
  }
  if (m_Loaded.empty()) {
    statusBar()->showMessage(
        "No snap-in is registered. Register one with: bwconsole --register PATH");
  }
}

ConsoleWindow::Loaded* ConsoleWindow::SessionOf(QTreeWidgetItem* item,
                                                sdk::ModelItem** model) const {
  if (model != nullptr) *model = nullptr;
  if (item == nullptr) return nullptr;
  int index = item->data(0, kSessionRole).toInt();
  if (index < 0 || index >= static_cast<int>(m_Loaded.size())) return nullptr;
  Loaded* loaded = m_Loaded[static_cast<std::size_t>(index)].get();
  if (model != nullptr) {
    *model = loaded->session->FindSerial(item->data(0, kSerialRole).toULongLong());
  }
  return loaded;
}

QTreeWidgetItem* ConsoleWindow::ScopeItemNamed(const std::string& name) const {
  for (QTreeWidgetItemIterator it(m_Scope); *it != nullptr; ++it) {
    sdk::ModelItem* model = nullptr;
    SessionOf(*it, &model);
    if (model != nullptr && model->Name() == name) return *it;
  }
  return nullptr;
}

void ConsoleWindow::SyncItem(Loaded& loaded, sdk::ModelItem& model, QTreeWidgetItem& item) {
  item.setData(0, kSerialRole, QVariant::fromValue<qulonglong>(model.Serial()));
  if (item.text(0) != Q(model.DisplayName())) item.setText(0, Q(model.DisplayName()));
  item.setIcon(0, FolderIcon(model.Folder()));
  bool showMark = model.HasChildren() && (!model.ExpandedOnce() || !model.Owned().empty());
  item.setChildIndicatorPolicy(showMark || !model.Owned().empty()
                                   ? QTreeWidgetItem::ShowIndicator
                                   : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  // Children in the model's order. Items stay where they are when they can,
  // so the current item and expanded branches survive a redraw.
  std::set<qulonglong> wanted;
  for (const auto& child : model.Owned()) wanted.insert(child->Serial());
  for (int i = item.childCount() - 1; i >= 0; --i) {
    if (wanted.count(item.child(i)->data(0, kSerialRole).toULongLong()) == 0) {
      delete item.takeChild(i);
    }
  }
  int position = 0;
  for (const auto& child : model.Owned()) {
    QTreeWidgetItem* childItem = nullptr;
    for (int j = position; j < item.childCount(); ++j) {
      if (item.child(j)->data(0, kSerialRole).toULongLong() == child->Serial()) {
        childItem = item.child(j);
        if (j != position) {
          bool expanded = childItem->isExpanded();
          item.insertChild(position, item.takeChild(j));
          childItem->setExpanded(expanded);
        }
        break;
      }
    }
    if (childItem == nullptr) {
      childItem = new QTreeWidgetItem();
      item.insertChild(position, childItem);
    }
    childItem->setData(0, kSessionRole, loaded.top->data(0, kSessionRole));
    SyncItem(loaded, *child, *childItem);
    ++position;
  }
}

void ConsoleWindow::Refresh() {
  m_Syncing = true;
  {
    const QSignalBlocker blocker(m_Scope);
    for (auto& loaded : m_Loaded) {
      if (loaded->session->Started()) SyncItem(*loaded, loaded->session->Root(), *loaded->top);
    }
    // The selected node may have gone (a removed archive, a rebuilt server):
    // the console root is selected then.
    Loaded* currentSession = SessionOf(m_Scope->currentItem(), nullptr);
    if (currentSession != nullptr && currentSession->session->View() == nullptr) {
      m_Scope->setCurrentItem(m_Root);
    }
  }
  m_Syncing = false;
  ShowResults();
}

void ConsoleWindow::ShowResults() {
  QTreeWidgetItem* current = m_Scope->currentItem();
  Loaded* loaded = SessionOf(current, nullptr);
  sdk::ModelResultView* view = loaded != nullptr ? loaded->session->View() : nullptr;
  m_Icons->clear();
  m_Details->clear();
  if (view == nullptr) {
    m_Results->setCurrentWidget(m_Icons);
    if (current == m_Root) {
      for (auto& each : m_Loaded) {
        if (!each->session->Started()) continue;
        auto* item = new QListWidgetItem(FolderIcon(each->session->Root().Folder(), true),
                                         Q(each->session->Root().DisplayName()), m_Icons);
        item->setData(kNodeRole, QVariant::fromValue<qulonglong>(each->session->Root().Serial()));
        item->setData(kSessionRole, each->top->data(0, kSessionRole));
      }
    }
    return;
  }
  sdk::ModelListView& list = view->List();
  if (list.Mode() == sdk::ViewMode::Icons) {
    m_Results->setCurrentWidget(m_Icons);
    for (const auto& child : view->Item().Owned()) {
      std::string label = child->ListSubItem("NAME");
      if (label.empty()) label = child->DisplayName();
      auto* item = new QListWidgetItem(FolderIcon(child->Folder(), true), Q(label), m_Icons);
      item->setData(kNodeRole, QVariant::fromValue<qulonglong>(child->Serial()));
      item->setData(kSessionRole, current->data(0, kSessionRole));
      item->setToolTip(Q(child->DisplayName()));
    }
    return;
  }
  m_Results->setCurrentWidget(m_Details);
  QStringList headers;
  for (const auto& column : list.Columns()) headers << Q(column.header);
  m_Details->setColumnCount(static_cast<int>(headers.size()));
  m_Details->setHeaderLabels(headers);
  for (sdk::ListItem* row : list.Items()) {
    auto* item = new QTreeWidgetItem(m_Details);
    for (int column = 0; column < static_cast<int>(list.Columns().size()); ++column) {
      std::string text = row->SubItem(column + 1);
      if (column == 0 && text.empty()) text = row->Text();
      item->setText(column, Q(text));
    }
    if (row->Icon() != 0) item->setIcon(0, ListIcon(row->Icon()));
    item->setData(0, kSerialRole, row->Index());
  }
  for (int column = 0; column < static_cast<int>(list.Columns().size()); ++column) {
    int width = list.Columns()[static_cast<std::size_t>(column)].width;
    if (width == sdk::kAutoWidth) {
      m_Details->resizeColumnToContents(column);
      m_Details->setColumnWidth(column, std::max(m_Details->columnWidth(column) + 16, 120));
    } else {
      m_Details->setColumnWidth(column, width);
    }
  }
}

void ConsoleWindow::OnExpanded(QTreeWidgetItem* item) {
  if (m_Syncing) return;
  sdk::ModelItem* model = nullptr;
  Loaded* loaded = SessionOf(item, &model);
  if (loaded == nullptr || model == nullptr || model->ExpandedOnce()) return;
  Raise([&] { loaded->session->Expand(*model); });
  item->setExpanded(true);
}

void ConsoleWindow::OnCurrentChanged(QTreeWidgetItem* item) {
  if (m_Syncing) return;
  sdk::ModelItem* model = nullptr;
  Loaded* loaded = SessionOf(item, &model);
  if (loaded != nullptr && model != nullptr) {
    Raise([&] { loaded->session->Select(*model); });
  } else {
    ShowResults();
  }
}

void ConsoleWindow::RenameSelected() {
  QTreeWidgetItem* item = m_Scope->currentItem();
  sdk::ModelItem* model = nullptr;
  Loaded* loaded = SessionOf(item, &model);
  if (loaded == nullptr || model == nullptr || !loaded->session->RenameEnabled()) return;
  m_Syncing = true;
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  m_Syncing = false;
  m_Scope->editItem(item, 0);
}

void ConsoleWindow::OnScopeEdited(QTreeWidgetItem* item, int) {
  if (m_Syncing) return;
  sdk::ModelItem* model = nullptr;
  Loaded* loaded = SessionOf(item, &model);
  if (loaded == nullptr || model == nullptr) return;
  m_Syncing = true;
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  m_Syncing = false;
  std::string newName = item->text(0).toStdString();
  if (newName == model->DisplayName()) return;
  Raise([&] { loaded->session->Rename(*model, newName); });
}

void ConsoleWindow::OnIconActivated(QListWidgetItem* item) {
  // A node in the list opens as if chosen in the tree.
  qulonglong serial = item->data(kNodeRole).toULongLong();
  for (QTreeWidgetItemIterator it(m_Scope); *it != nullptr; ++it) {
    if ((*it)->data(0, kSerialRole).toULongLong() == serial &&
        (*it)->data(0, kSessionRole) == item->data(kSessionRole)) {
      if ((*it)->parent() != nullptr) (*it)->parent()->setExpanded(true);
      m_Scope->setCurrentItem(*it);
      return;
    }
  }
}

void ConsoleWindow::OnDetailsActivated(QTreeWidgetItem* item) {
  Loaded* loaded = SessionOf(m_Scope->currentItem(), nullptr);
  if (loaded == nullptr || loaded->session->View() == nullptr) return;
  auto rows = loaded->session->View()->List().Items();
  int index = item->data(0, kSerialRole).toInt();
  if (index < 1 || index > static_cast<int>(rows.size())) return;
  sdk::ListItem* row = rows[static_cast<std::size_t>(index - 1)];
  Raise([&] { loaded->session->DoubleClick(*row); });
}

std::unique_ptr<QMenu> ConsoleWindow::BuildMenu(Loaded& loaded, const sdk::Selection& selection,
                                                QTreeWidgetItem* renameItem) {
  std::vector<sdk::Menu> menus;
  try {
    menus = loaded.session->MenusFor(selection);
  } catch (const std::exception& error) {
    ShowProblem(Q(error.what()));
    return nullptr;
  }
  auto menu = std::make_unique<QMenu>(this);
  menu->setAccessibleName("Context menu");
  for (const auto& top : menus) {
    int index = 0;
    for (const auto& child : top.children) {
      ++index;
      QAction* action = menu->addAction(Q(child.caption));
      action->setObjectName(Q(child.name));
      action->setStatusTip(Q(child.statusBarText));
      action->setEnabled(child.enabled && !child.greyed);
      std::string name = child.name;
      connect(action, &QAction::triggered, this, [this, &loaded, name, index, selection] {
        statusBar()->showMessage("Ready", kReadyMessageMs);
        Raise([&] { loaded.session->Click(name, index, selection); });
      });
    }
  }
  if (renameItem != nullptr && loaded.session->RenameEnabled()) {
    if (!menu->isEmpty()) menu->addSeparator();
    QAction* rename = menu->addAction("Rename");
    rename->setObjectName("consoleRename");
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    rename->setStatusTip("Renames the selected item.");
    connect(rename, &QAction::triggered, this, &ConsoleWindow::RenameSelected);
  }
  // Status-bar texts show while an item is highlighted.
  connect(menu.get(), &QMenu::hovered, this,
          [this](QAction* action) { statusBar()->showMessage(action->statusTip()); });
  connect(menu.get(), &QMenu::aboutToHide, this,
          [this] { statusBar()->showMessage("Ready", kReadyMessageMs); });
  return menu;
}

std::unique_ptr<QMenu> ConsoleWindow::ContextMenuForScope(QTreeWidgetItem* item) {
  sdk::ModelItem* model = nullptr;
  Loaded* loaded = SessionOf(item, &model);
  if (loaded == nullptr || model == nullptr) return nullptr;
  return BuildMenu(*loaded, loaded->session->SelectionOf(*model), item);
}

std::unique_ptr<QMenu> ConsoleWindow::ContextMenuForResults() {
  Loaded* loaded = SessionOf(m_Scope->currentItem(), nullptr);
  if (loaded == nullptr || loaded->session->View() == nullptr) return nullptr;
  if (m_Results->currentWidget() == m_Icons) {
    QListWidgetItem* chosen = m_Icons->currentItem();
    if (chosen == nullptr) return nullptr;
    sdk::ModelItem* node = loaded->session->FindSerial(chosen->data(kNodeRole).toULongLong());
    if (node == nullptr) return nullptr;
    return BuildMenu(*loaded, loaded->session->SelectionOf(*node), nullptr);
  }
  auto rows = loaded->session->View()->List().Items();
  std::vector<sdk::ListItem*> chosen;
  for (QTreeWidgetItem* item : m_Details->selectedItems()) {
    int index = item->data(0, kSerialRole).toInt();
    if (index >= 1 && index <= static_cast<int>(rows.size())) {
      chosen.push_back(rows[static_cast<std::size_t>(index - 1)]);
    }
  }
  if (chosen.empty()) return nullptr;
  return BuildMenu(*loaded, loaded->session->SelectionOf(chosen), nullptr);
}

}  // namespace bw::console
