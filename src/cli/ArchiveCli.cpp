#include "ArchiveCli.h"

#include <cctype>
#include <cstdio>

#include "CliLookup.h"
#include "ConvertCli.h"
#include "JsonOutput.h"
#include "ServerCli.h"
#include "Terminal.h"
#include "TerminalProgress.h"
#include "archives/PlainTextRun.h"
#include "commands/ArchiveCommands.h"
#include "servers/Servers.h"
#include "support/Error.h"
#include "support/Helpers.h"
#include "support/MessageService.h"
#include "support/SqlText.h"

namespace bw::cli {

const char kArchiveHelp[] =
    "Usage: bwctl archive COMMAND SERVER [ARGS] [--yes]\n"
    "\n"
    "The archives of a registered SQL Server; SERVER is its ServerID (bwctl server list).\n"
    "NAME is the archive name, without the database prefix.\n"
    "\n"
    "Commands:\n"
    "  list SERVER                     ArchiveID, name and database of every archive; marks\n"
    "                                  one whose creation did not finish\n"
    "  create SERVER NAME PATH         a new archive; PATH is its data file on the server's disk.\n"
    "                                  What an unfinished creation of NAME left is removed\n"
    "                                  first (asks; --yes)\n"
    "  attach SERVER NAME MDF [LDF]    attach existing archive files\n"
    "  detach SERVER NAME              detach an archive, keeping its files (asks; --yes)\n"
    "  delete SERVER NAME              delete an archive and all its data (asks; --yes)\n"
    "  rename SERVER NAME NEWNAME      rename an archive\n"
    "  owner SERVER NAME LOGIN         make LOGIN the owner of the archive\n"
    "  shrink-log SERVER NAME          truncate and shrink the archive's log (asks; --yes)\n"
    "  properties SERVER NAME          name, owner, creation time, collation, version,\n"
    "                                  plain-text flag, files and sizes\n"
    "  plaintext SERVER NAME           generate the plain text full-text search needs for\n"
    "                                  every document still stored as text (asks; --yes)\n"
    "  fulltext status|create|drop SERVER NAME\n"
    "                                  the archive's full-text index (create/drop ask; --yes)\n"
    "  convert SERVER NAME             convert an archive of an older database version to the\n"
    "                                  current one (asks; --yes); prints the version before\n"
    "                                  and after\n"
    "  convert --script SERVER NAME    print the T-SQL the conversion would send for this\n"
    "                                  archive's version, block by block; sends nothing\n"
    "\n"
    "Other users' sessions on an archive are ended only after a question (--yes answers it).\n"
    "Exit codes: 0 done, 1 failed, 2 usage, 3 not permitted, 4 not confirmed.\n";

namespace {

int Usage(const std::string& problem) {
  std::fprintf(stderr, "bwctl archive: %s\n\n%s", problem.c_str(), kArchiveHelp);
  return kExitUsage;
}

// An archive whose creation did not finish looks usable and is not.
std::string IncompleteText(const std::string& incompleteness) {
  return "the database " + incompleteness +
         ": its creation did not finish; creating the archive again offers to remove it";
}

Json IncompleteJson(Database& archive) {
  const std::string incomplete = archive.Incompleteness();
  return incomplete.empty() ? Json() : Json(IncompleteText(incomplete));
}

int List(Server& server, Databases& catalogue) {
  if (JsonOutput()) {
    Json list = Json::array();
    for (Database* archive : catalogue.NewEnum()) {
      list.push_back({{"archiveId", archive->ArchiveID()},
                      {"name", archive->Name()},
                      {"database", archive->DatabaseName()},
                      {"error", nullptr},
                      {"incomplete", IncompleteJson(*archive)}});
    }
    for (const UnopenedArchive& unopened : catalogue.Unopened()) {
      list.push_back({{"archiveId", nullptr},
                      {"name", unopened.name},
                      {"database", kArchivePrefix + unopened.name},
                      {"error", unopened.reason},
                      {"incomplete", nullptr}});
    }
    PrintJson(Json{{"serverId", server.ServerID()}, {"archives", std::move(list)}});
    return kExitOk;
  }
  if (catalogue.Count() == 0 && catalogue.Unopened().empty()) {
    std::printf("No archives on this server.\n");
    return kExitOk;
  }
  std::printf("%-6s %-32s %s\n", "ID", "NAME", "DATABASE");
  for (Database* archive : catalogue.NewEnum()) {
    const std::string incomplete = archive->Incompleteness();
    std::printf(
        "%-6d %-32s %s%s\n", archive->ArchiveID(), archive->Name().c_str(),
        archive->DatabaseName().c_str(),
        incomplete.empty() ? "" : ("  (incomplete: " + IncompleteText(incomplete) + ")").c_str());
  }
  // Listed, so nobody takes it for missing, but without an ArchiveID.
  for (const UnopenedArchive& unopened : catalogue.Unopened()) {
    std::printf("%-6s %-32s %s%s  (cannot be opened: %s)\n", "-", unopened.name.c_str(),
                kArchivePrefix, unopened.name.c_str(), TerminalText(unopened.reason).c_str());
  }
  return kExitOk;
}

int Properties(Server& server, Database& archive) {
  Recordset rs;
  rs.SetCursorLocation(adUseClient);
  rs.Open("EXEC sp_helpdb " + SqlString(archive.DatabaseName()), &server.GetConnection(),
          adOpenForwardOnly, adLockOptimistic);
  for (int step = 0; step < 101 && rs.State() != adStateOpen; ++step) rs.NextRecordset();
  std::string owner, created, size;
  if (rs.State() == adStateOpen && !rs.Eof()) {
    owner = TrimBlanks(rs.Value("owner").ToText());
    created = TrimBlanks(rs.Value("created").ToText());
    size = TrimBlanks(rs.Value("db_size").ToText());
  }
  std::string collation;
  {
    Recordset c;
    c.Open("SELECT DATABASEPROPERTYEX(" + SqlString(archive.DatabaseName()) + ", 'Collation')",
           &server.GetConnection());
    if (!c.Eof()) collation = c.Value(0).ToText();
  }
  const std::string version = archive.GetExtendedValue(0, 3, 0, "");
  const std::string plainText = archive.GetExtendedValue(0, 10, 0, "");
  struct File {
    std::string name, fileName, size;
  };
  std::vector<File> files;
  if (rs.State() == adStateOpen) rs.NextRecordset();
  for (; rs.State() == adStateOpen && !rs.Eof(); rs.MoveNext()) {
    files.push_back({TrimBlanks(rs.Value("name").ToText()),
                     TrimBlanks(rs.Value("filename").ToText()),
                     TrimBlanks(rs.Value("size").ToText())});
  }
  if (JsonOutput()) {
    Json fileList = Json::array();
    for (const File& file : files) {
      fileList.push_back({{"name", file.name}, {"fileName", file.fileName}, {"size", file.size}});
    }
    // Search uses PlainText only where the flag says "True"; an archive
    // without it searches its documents' text.
    PrintJson(Json{{"name", archive.Name()},
                   {"database", archive.DatabaseName()},
                   {"archiveId", archive.ArchiveID()},
                   {"owner", owner},
                   {"created", created},
                   {"size", size},
                   {"collation", collation},
                   {"version", version},
                   {"plainText", LowerAscii(plainText) == "true"},
                   {"incomplete", IncompleteJson(archive)},
                   {"files", std::move(fileList)}});
    return kExitOk;
  }
  std::printf("Name:           %s\n", archive.Name().c_str());
  std::printf("Database:       %s\n", archive.DatabaseName().c_str());
  std::printf("Owner:          %s\n", owner.c_str());
  std::printf("Created:        %s\n", created.c_str());
  std::printf("Size:           %s\n", size.c_str());
  std::printf("Collation:      %s\n", collation.c_str());
  std::printf("Version:        %s\n", version.c_str());
  std::printf("Plain text:     %s\n", plainText.c_str());
  if (const std::string incomplete = archive.Incompleteness(); !incomplete.empty()) {
    std::printf("Incomplete:     %s\n", IncompleteText(incomplete).c_str());
  }
  for (const File& file : files) {
    std::printf("File:           %s  %s  %s\n", file.name.c_str(), file.fileName.c_str(),
                file.size.c_str());
  }
  return kExitOk;
}

const char* FullTextStateName(std::int32_t status) {
  static const char* const kNames[] = {"idle",
                                       "full population in progress",
                                       "paused",
                                       "throttled",
                                       "recovering",
                                       "shutdown",
                                       "incremental population in progress",
                                       "building index",
                                       "disk full, paused",
                                       "change tracking"};
  if (status == kFullTextNotInstalled) return "full-text search is not installed";
  if (status == kFullTextNoCatalog) return "no full-text index";
  return status >= 0 && status <= 9 ? kNames[status] : "unknown";
}

// Every unconverted document is changed for good, so the run is asked for.
int PlainText(Database& archive) {
  if (MsgBox("Generate the full-text information of the archive '" + archive.Name() +
                 "'? Every document still stored as text is converted.",
             MsgStyle::YesNo | MsgStyle::Question) != MsgResult::Yes) {
    return kExitNotConfirmed;
  }
  bool done = false;
  {
    TerminalProgress progress;
    done = PlainTextRun(archive, progress).Run();
  }
  return done ? kExitOk : kExitFailed;
}

}  // namespace

int RunArchiveCommand(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("missing command");
  std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  std::string fullTextAction;
  bool scriptOnly = false;
  if (command == "convert") {
    for (auto it = rest.begin(); it != rest.end();) {
      if (*it == "--script") {
        scriptOnly = true;
        it = rest.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (command == "fulltext") {
    if (rest.empty()) return Usage("fulltext needs status, create or drop");
    fullTextAction = rest[0];
    rest.erase(rest.begin());
    if (fullTextAction != "status" && fullTextAction != "create" && fullTextAction != "drop") {
      return Usage("fulltext needs status, create or drop");
    }
  }
  struct Shape {
    const char* name;
    std::size_t least, most;
  };
  static const Shape kShapes[] = {{"list", 1, 1},     {"create", 3, 3},     {"attach", 3, 4},
                                  {"detach", 2, 2},   {"delete", 2, 2},     {"rename", 3, 3},
                                  {"owner", 3, 3},    {"shrink-log", 2, 2}, {"properties", 2, 2},
                                  {"fulltext", 2, 2}, {"plaintext", 2, 2},  {"convert", 2, 2}};
  const Shape* shape = nullptr;
  for (const Shape& candidate : kShapes) {
    if (command == candidate.name) shape = &candidate;
  }
  if (shape == nullptr) return Usage("unknown command " + command);
  if (rest.size() < shape->least || rest.size() > shape->most) {
    return Usage("wrong number of arguments for " + command);
  }
  if ((command == "create" || command == "attach" || command == "rename") &&
      (!IsValidName(rest[command == "rename" ? 2 : 1]) ||
       rest[command == "rename" ? 2 : 1].empty())) {
    return Usage("archive names consist of letters A-Z, digits and '_'");
  }
  if (command == "create" || command == "attach" || command == "rename") {
    const std::string problem = commands::ArchiveNameTooLongText(rest[command == "rename" ? 2 : 1]);
    if (!problem.empty()) return Usage(problem);
  }
  if (command == "create" && TrimBlanks(rest[2]).empty()) {
    return Usage("create needs PATH, the new archive's data file on the server's disk");
  }
  if (command == "attach" && TrimBlanks(rest[2]).empty()) {
    return Usage("attach needs MDF, the archive's data file on the server's disk");
  }
  try {
    Servers servers(Servers::ConnectMode::OnDemand);
    Server* server = FindServer(servers, rest[0], "archive");
    if (server == nullptr) return kExitFailed;
    Databases& catalogue = server->Databases();
    if (command == "list") return List(*server, catalogue);
    if (command == "create") {
      Database* created = nullptr;
      int code = ExitOf(commands::AddNewDatabase(catalogue, rest[1], rest[2], &created));
      if (created != nullptr) {
        std::printf("Created archive %s (ArchiveID %d)\n", created->Name().c_str(),
                    created->ArchiveID());
      }
      return code;
    }
    if (command == "attach") {
      Database* attached = nullptr;
      int code = ExitOf(commands::OpenDatabase(catalogue, rest[1], rest[2],
                                               rest.size() > 3 ? rest[3] : "", &attached));
      if (attached != nullptr) {
        std::printf("Attached archive %s (ArchiveID %d)\n", attached->Name().c_str(),
                    attached->ArchiveID());
      }
      return code;
    }
    int notFound = kExitFailed;
    Database* archive = FindArchive(catalogue, rest[1], "archive", &notFound);
    if (archive == nullptr) return notFound;
    if (command == "detach") return ExitOf(commands::CloseDatabase(catalogue, *archive));
    if (command == "delete") return ExitOf(commands::DeleteDatabase(catalogue, *archive));
    if (command == "rename") return ExitOf(commands::RenameDatabase(*archive, rest[2]));
    if (command == "owner") return ExitOf(commands::ChangeOwner(*archive, rest[2]));
    if (command == "shrink-log") return ExitOf(commands::ShrinkLogfile(*archive));
    if (command == "properties") return Properties(*server, *archive);
    if (command == "plaintext") return PlainText(*archive);
    if (command == "convert") return ConvertArchiveCommand(*archive, scriptOnly);
    if (fullTextAction == "status") {
      std::int32_t status = archive->GetFullTextStatus();
      if (JsonOutput()) {
        PrintJson(Json{{"archive", archive->Name()},
                       {"status", status},
                       {"stateName", FullTextStateName(status)}});
      } else {
        std::printf("%d %s\n", status, FullTextStateName(status));
      }
      return kExitOk;
    }
    return ExitOf(fullTextAction == "create" ? commands::AddCatalog(*archive)
                                             : commands::RemoveCatalog(*archive));
  } catch (const Error& error) {
    std::fprintf(stderr, "bwctl archive: %s (%s, %s)\n", error.Description().c_str(),
                 FormatErrorNumber(error.Number()).c_str(), error.Source().c_str());
    return kExitFailed;
  }
}

}  // namespace bw::cli
