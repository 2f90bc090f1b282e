#include "snapin/PropertyViews.h"

#include <map>

#include "archives/Database.h"
#include "data/DataAccess.h"
#include "servers/Server.h"
#include "support/Helpers.h"
#include "support/SqlText.h"
#include "support/StringTable.h"
#include "support/Variant.h"

namespace bw::snapin {

namespace {

void AddRow(sdk::ListView& list, const std::string& label, const std::string& value) {
  sdk::ListItem& item = list.Add("", label);
  item.SetSubItem(1, "PROPERTY", label);
  item.SetSubItem(2, "VALUE", value);
}

void Prepare(sdk::ListView& list, const char* nameColumn) {
  list.Clear();
  list.SetColumnHeader(nameColumn, LoadResString(298));
  list.SetColumnHeader("VALUE", LoadResString(303));
}

std::string Trimmed(const Variant& value) {
  return TrimBlanks(value.ToText());
}

std::string FirstColumn(Connection& connection, const std::string& sql) {
  Recordset rows;
  rows.Open(sql, &connection, adOpenForwardOnly, adLockReadOnly);
  for (int step = 0; step < 101 && rows.State() != adStateOpen; ++step) rows.NextRecordset();
  if (rows.State() != adStateOpen || rows.Eof()) return {};
  return rows.Fields(0).Value().ToText();
}

void OpenRows(Recordset& rows, const std::string& sql, Connection& connection) {
  rows.Open(sql, &connection, adOpenForwardOnly, adLockReadOnly);
  for (int step = 0; step < 101 && rows.State() != adStateOpen; ++step) rows.NextRecordset();
}

std::string PopulationState(std::int64_t state) {
  static const std::map<std::string, int> kStates = {{"0", 326}, {"1", 327}, {"2", 328}, {"3", 329},
                                                     {"4", 330}, {"5", 331}, {"6", 332}, {"7", 333},
                                                     {"8", 334}, {"9", 335}};
  auto found = kStates.find(std::to_string(state));
  return found == kStates.end() ? std::string() : LoadResString(found->second);
}

}  // namespace

std::string PropertyViews::EngineEdition(const std::string& versionText) {
  // The lines are the runs of characters other than line feed, form feed and
  // carriage return (so empty lines do not count).
  int lines = 0;
  std::size_t start = 0;
  while (start < versionText.size()) {
    std::size_t begin = versionText.find_first_not_of("\n\f\r", start);
    if (begin == std::string::npos) break;
    std::size_t end = versionText.find_first_of("\n\f\r", begin);
    if (end == std::string::npos) end = versionText.size();
    if (++lines == 4) return versionText.substr(begin, end - begin);
    start = end;
  }
  return versionText;
}

std::string PropertyViews::PagesAsMegabytes(double pages) {
  return FormatValue(Variant(pages / 128.0), "#,##0.0") + " MB";
}

std::string PropertyViews::AgeAsDate(double seconds) {
  DateValue base = MakeDate(1990, 1, 1);
  return FormatValue(Variant(DateValue{base.oleDate + seconds / 86400.0}), "m/d/yyyy hh:nn:ss");
}

void PropertyViews::FillServerProperties(sdk::ResultView& view) {
  Server* server = TagAs<Server>(view.GetScopeItem().GetTag());
  if (server == nullptr || !server->IsConnected()) return;
  BusyPointer busy(m_Context.host);
  sdk::ListView& list = view.GetListView();
  Prepare(list, "NAME");
  Connection& connection = server->GetConnection();
  AddRow(list, "Engine Edition", EngineEdition(FirstColumn(connection, "SELECT @@VERSION")));

  Recordset msver;
  OpenRows(msver, "EXEC master..xp_msver", connection);
  // Read before the login mode's own statement, which would end this one.
  std::vector<std::pair<std::string, std::string>> facts;
  for (; msver.State() == adStateOpen && !msver.Eof(); msver.MoveNext()) {
    const Variant& value = msver.Value("Character_Value");
    facts.emplace_back(Trimmed(msver.Value("Name")), value.IsNull() ? "" : Trimmed(value));
  }
  msver.Close();

  int mode = server->LoginMode();
  int modeText = mode == 1 ? 104 : mode == 2 ? 320 : 105;
  AddRow(list, LoadResString(351), LoadResString(modeText));
  for (const auto& [name, value] : facts) AddRow(list, name, value);
  AddRow(list, LoadResString(350),
         TrimBlanks(FirstColumn(
             connection, "SELECT SERVERPROPERTY('Collation') AS Server_Default_Collation;")));
}

void PropertyViews::FillArchiveProperties(sdk::ResultView& view) {
  sdk::ScopeItem* parent = view.GetScopeItem().Parent();
  Database* archive = parent == nullptr ? nullptr : TagAs<Database>(parent->GetTag());
  if (archive == nullptr) return;
  BusyPointer busy(m_Context.host);
  sdk::ListView& list = view.GetListView();
  Prepare(list, "PROPERTY");
  const std::string& name = archive->DatabaseName();
  Connection& connection = archive->GetConnection();
  {
    Recordset help;
    OpenRows(help, "sp_helpdb @dbname=" + SqlString(name), connection);
    if (help.State() == adStateOpen && !help.Eof()) {
      std::string owner = Trimmed(help.Value("owner"));
      std::string dbName = Trimmed(help.Value("name"));
      std::string created = Trimmed(help.Value("created"));
      AddRow(list, LoadResString(74), dbName);
      AddRow(list, LoadResString(76), owner);
      AddRow(list, LoadResString(77), created);
    }
  }
  AddRow(list, LoadResString(350),
         TrimBlanks(FirstColumn(connection, "SELECT DATABASEPROPERTYEX(" + SqlString(name) +
                                                ", 'Collation') AS Database_Default_Collation")));
  AddRow(list, "Search in PlainText",
         archive->GetExtendedValue(0, 0, 1, "Brindlewick: Search in PlainText"));
  AddRow(list, "Brindlewick Archive Version", archive->GetExtendedValue(0, 3, 1, ""));

  Recordset files;
  files.SetCursorLocation(adUseClient);
  files.Open(
      "SELECT sysaltfiles.* FROM sysdatabases INNER JOIN sysaltfiles ON sysdatabases.dbid = "
      "sysaltfiles.dbid WHERE sysdatabases.name=" +
          SqlString(name),
      &archive->GetServer()->GetConnection(), adOpenStatic, adLockReadOnly);
  struct FileRows {
    const char* filter;
    int name, fileName, size;
  };
  for (const FileRows& rows :
       {FileRows{"fileid=1", 78, 79, 80}, FileRows{"fileid=2", 81, 356, 357}}) {
    files.SetFilter(rows.filter);
    if (files.Eof()) continue;
    AddRow(list, LoadResString(rows.name), Trimmed(files.Value("name")));
    AddRow(list, LoadResString(rows.fileName), Trimmed(files.Value("filename")));
    AddRow(list, LoadResString(rows.size), PagesAsMegabytes(files.Value("size").ToDouble()));
  }
}

void PropertyViews::FillCatalogProperties(sdk::ResultView& view) {
  sdk::ScopeItem* parent = view.GetScopeItem().Parent();
  Database* archive = parent == nullptr ? nullptr : TagAs<Database>(parent->GetTag());
  if (archive == nullptr) return;
  BusyPointer busy(m_Context.host);
  sdk::ListView& list = view.GetListView();
  Prepare(list, "PROPERTY");
  std::int32_t status = archive->GetFullTextStatus();
  if (status == kFullTextNoCatalog) {
    AddRow(list, "Status", LoadResString(336));
    return;
  }
  if (status < 0) {
    AddRow(list, "Status", LoadResString(346));
    return;
  }
  Connection& connection = archive->GetConnection();
  std::string catalog, path;
  std::int64_t state = -1;
  {
    Recordset catalogs;
    OpenRows(catalogs, "sp_help_fulltext_catalogs", connection);
    if (catalogs.State() != adStateOpen || catalogs.Eof()) return;
    catalog = Trimmed(catalogs.Value("name"));
    state = catalogs.Value("status").ToInteger();
    path = Trimmed(catalogs.Value("PATH"));
  }
  AddRow(list, LoadResString(337), catalog);
  AddRow(list, "Status", PopulationState(state));
  AddRow(list, LoadResString(338), path);
  auto property = [&](const char* name) {
    return FirstColumn(
        connection, "SELECT FULLTEXTCATALOGPROPERTY(" + SqlString(catalog) + ", '" + name + "')");
  };
  AddRow(list, LoadResString(339), property("ItemCount"));
  AddRow(list, LoadResString(340), property("IndexSize") + " MB");
  std::string age = property("PopulateCompletionAge");
  AddRow(list, LoadResString(341), AgeAsDate(age.empty() ? 0 : Variant(age).ToDouble()));
}

}  // namespace bw::snapin
