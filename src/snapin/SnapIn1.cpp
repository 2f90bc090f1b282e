#include "snapin/SnapIn1.h"

#include <atomic>
#include <stdexcept>

#include "commands/VersionCheck.h"
#include "data/SqlLog.h"
#include "support/Error.h"
#include "support/Helpers.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw::snapin {

namespace {

std::atomic<int> g_LiveObjects{0};

// Runs one event; an error nobody reported is shown, never passed on to the
// console's event loop.
template <class F>
void Guard(F&& event) {
  try {
    event();
  } catch (const Error& error) {
    MsgBox(error.Description(), MsgStyle::Critical);
  } catch (const std::exception& error) {
    MsgBox(error.what(), MsgStyle::Critical);
  }
}

sdk::ListViewDef Icons(const char* name, const char* key, int width) {
  return {name, {{key, "Name", width}}, sdk::ViewMode::Icons};
}

sdk::ListViewDef Details(const char* name, std::vector<sdk::ColumnDef> columns) {
  return {name, std::move(columns), sdk::ViewMode::Details};
}

}  // namespace

SnapIn1::SnapIn1()
    : m_Properties(m_Context),
      m_Lists(m_Context, m_Properties),
      m_Tree(m_Context),
      m_Commands(m_Context, m_Tree, m_Lists, m_Properties, m_Menus) {
  ++g_LiveObjects;
}

SnapIn1::~SnapIn1() {
  --g_LiveObjects;
}

int SnapIn1::LiveObjects() {
  return g_LiveObjects.load();
}

std::string SnapIn1::DisplayName() const {
  return LoadResString(1);
}

std::string SnapIn1::Description() const {
  return LoadResString(3);
}

const std::vector<sdk::NodeTypeDef>& SnapIn1::NodeTypes() const {
  using sdk::kAutoWidth;
  static const std::vector<sdk::NodeTypeDef> kTypes = {
      {"Static Node",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D01}",
       {"DatabaseServers"},
       Icons("lvTop", "NAME", 700)},
      {"DatabaseServers",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D02}",
       {},
       Icons("lvServers", "NAME", kAutoWidth)},
      {"Server",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D03}",
       {"Databases", "LoginNames"},
       Details("lvServer", {{"NAME", "Name", kAutoWidth}, {"VALUE", "Value", kAutoWidth}})},
      {"Databases",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D04}",
       {},
       Icons("lvArchives", "ANAME", 200)},
      {"LoginNames",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D05}",
       {},
       Details("lvLoginNames", {{"NAME", "Name", kAutoWidth},
                                {"TYPE", "Type", kAutoWidth},
                                {"ACCESS", "Access", kAutoWidth}})},
      {"Database",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D06}",
       {"Properties", "Users", "Catalog"},
       Icons("lvArchive", "NAME", 200)},
      {"Properties",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D07}",
       {},
       Details("lvProperties", {{"PROPERTY", "Name", kAutoWidth}, {"VALUE", "Value", kAutoWidth}})},
      {"Users",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D08}",
       {},
       Details("lvUsers", {{"NAME", "Name", kAutoWidth},
                           {"LOGINNAME", "Login Name", kAutoWidth},
                           {"ACCESS", "Database access", kAutoWidth}})},
      {"Catalog",
       "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D09}",
       {},
       Details("lvProperties", {{"PROPERTY", "Name", kAutoWidth}, {"VALUE", "Value", kAutoWidth}})},
  };
  return kTypes;
}

void SnapIn1::Initialize(sdk::Host& host) {
  m_Context.host = &host;
  SetSmallFonts(host.LogicalDpiX() < 100);
  m_CTimer.Timer = [this] { m_CTimer_Timer(); };
  // The SqlLog setting writes the console's statements to a file, as bwctl's.
  Guard([] { SqlLog::OpenFileFromSettings(); });
}

void SnapIn1::ScopeItemsInitialize(sdk::ScopeItem& item) {
  Guard([&] { m_Tree.ScopeItems_Initialize(item); });
}

void SnapIn1::ScopeItemsExpand(sdk::ScopeItem& item) {
  Guard([&] { m_Tree.ScopeItems_Expand(item); });
}

void SnapIn1::ScopeItemsRename(sdk::ScopeItem& item, const std::string& newName) {
  Guard([&] { m_Tree.ScopeItems_Rename(item, newName); });
}

void SnapIn1::ResultViewsInitialize(sdk::ResultView& view) {
  Guard([&] { m_Lists.ResultViews_Initialize(view); });
}

void SnapIn1::ResultViewsListItemDblClick(sdk::ResultView& view, sdk::ListItem& item,
                                          bool& doDefault) {
  Guard([&] { m_Lists.ResultViews_ListItemDblClick(view, item, doDefault); });
}

void SnapIn1::ViewsAddTopMenuItems(const sdk::Selection& selection, sdk::ContextMenu& menu,
                                   bool insertionAllowed) {
  Guard([&] { m_Menus.Views_AddTopMenuItems(selection, menu, insertionAllowed); });
}

void SnapIn1::ViewsSelect(const sdk::Selection& selection, bool /*selected*/,
                          sdk::ConsoleVerbs& verbs) {
  if (!selection.scopeItems.empty() && selection.scopeItems.front()->NodeTypeName() == "Database") {
    verbs.SetRenameEnabled(true);
  }
}

void SnapIn1::ViewsSetControlbar() {
  Guard([&] { m_CTimer.SetInterval(3000); });
}

void SnapIn1::MenuClick(const std::string& itemName, int index, const sdk::Selection& selection) {
  Guard([&] { m_Commands.Click(itemName, index, selection); });
}

void SnapIn1::m_CTimer_Timer() {
  // One check per arming: stopped first, so the prompts and the progress
  // dialog's event loop cannot start a second one.
  Guard([&] {
    m_CTimer.SetInterval(0);
    if (m_Context.m_Servers) {
      commands::RunVersionCheck(*m_Context.m_Servers, commands::ProgressDialogActions());
    }
  });
}

}  // namespace bw::snapin
