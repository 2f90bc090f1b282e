// bwctl: the console's commands for administrators and scripts.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ArchiveCli.h"
#include "JsonOutput.h"
#include "SecurityCli.h"
#include "ServerCli.h"
#include "Terminal.h"
#include "TextCli.h"
#include "data/SqlLog.h"
#include "platform/RegistryHive.h"

namespace {

const char kHelp[] =
    "Usage: bwctl [--yes] [--json] [--sql-log FILE] AREA COMMAND [ARGS]\n"
    "\n"
    "Administrates Brindlewick archives on Microsoft SQL Server from the command line,\n"
    "with the same checks, questions and messages as the console.\n"
    "\n"
    "Areas:\n"
    "  server     registered SQL Servers and their service (bwctl server --help)\n"
    "  archive    the archives of a registered server (bwctl archive --help)\n"
    "  login      the logins of a registered server (bwctl login --help)\n"
    "  user       the users of an archive (bwctl user --help)\n"
    "  text       the text full-text search sees in HTML and web-archive files (bwctl text "
    "--help)\n"
    "\n"
    "Options:\n"
    "  --yes      answer Yes to every confirmation (needed when not on a terminal)\n"
    "  --json     results as one JSON document on standard output, for the commands that\n"
    "             list or show: server list|status, archive list|properties,\n"
    "             archive fulltext status, login list, user list (fields: bwctl(1))\n"
    "  --sql-log FILE  append every statement sent to a server, with time, server,\n"
    "             database, login, duration and outcome, to FILE (passwords masked);\n"
    "             default: the SqlLog setting or BW_SQL_LOG\n"
    "  --help     this text; after an area, that area's commands\n"
    "  --version  the program's version\n"
    "\n"
    "Registrations live in $XDG_CONFIG_HOME/brindlewick/registry.hive (default ~/.config).\n"
    "Messages go to standard error, results to standard output.\n"
    "Exit codes: 0 done, 1 failed, 2 usage, 3 not permitted, 4 not confirmed.\n";

// Whether the command in `args` (area first) has a JSON form.
bool HasJsonForm(const std::vector<std::string>& args) {
  auto is = [&](std::size_t index, const char* word) {
    return args.size() > index && args[index] == word;
  };
  return (is(0, "server") && (is(1, "list") || is(1, "status"))) ||
         (is(0, "archive") && (is(1, "list") || is(1, "properties"))) ||
         (is(0, "archive") && is(1, "fulltext") && is(2, "status")) ||
         ((is(0, "login") || is(0, "user")) && is(1, "list"));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool yes = false;
  bool help = false;
  bool json = false;
  std::optional<std::string> sqlLog;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--version") {
      std::printf("bwctl %s\n", BW_VERSION);
      return bw::cli::kExitOk;
    }
    if (a == "--yes" || a == "-y") {
      yes = true;
    } else if (a == "--sql-log" || a.rfind("--sql-log=", 0) == 0) {
      if (a == "--sql-log" && i + 1 >= argc) {
        std::fprintf(stderr, "bwctl: --sql-log needs a file\n\n%s", kHelp);
        return bw::cli::kExitUsage;
      }
      sqlLog = a == "--sql-log" ? argv[++i] : a.substr(10);
    } else if (a == "--json") {
      json = true;
    } else if (a == "--help" || a == "-h") {
      help = true;
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) {
    std::fputs(kHelp, help ? stdout : stderr);
    return help ? bw::cli::kExitOk : bw::cli::kExitUsage;
  }

  if (json && !help && !HasJsonForm(args)) {
    std::fprintf(stderr, "bwctl: --json is only for commands that list or show\n\n%s", kHelp);
    return bw::cli::kExitUsage;
  }
  bw::cli::SetJsonOutput(json);

  bw::InstallHiveSettingsLayer();
  try {
    if (sqlLog) {
      bw::SqlLog::OpenFile(*sqlLog);
    } else {
      bw::SqlLog::OpenFileFromSettings();
    }
  } catch (const bw::Error& error) {
    // Asked for a record of what is sent: nothing is sent without one.
    std::fprintf(stderr, "bwctl: %s\n", error.Description().c_str());
    return bw::cli::kExitFailed;
  }
  bw::cli::TerminalMessageService messages(yes);
  bw::SetMessageService(&messages);

  std::string area = args[0];
  args.erase(args.begin());
  int code = bw::cli::kExitUsage;
  if (area == "server") {
    if (help) {
      std::fputs(bw::cli::kServerHelp, stdout);
      code = bw::cli::kExitOk;
    } else {
      code = bw::cli::RunServerCommand(args);
    }
  } else if (area == "archive") {
    if (help) {
      std::fputs(bw::cli::kArchiveHelp, stdout);
      code = bw::cli::kExitOk;
    } else {
      code = bw::cli::RunArchiveCommand(args);
    }
  } else if (area == "text") {
    if (help) {
      std::fputs(bw::cli::kTextHelp, stdout);
      code = bw::cli::kExitOk;
    } else {
      code = bw::cli::RunTextCommand(args);
    }
  } else if (area == "login" || area == "user") {
    const bool login = area == "login";
    if (help) {
      std::fputs(login ? bw::cli::kLoginHelp : bw::cli::kUserHelp, stdout);
      code = bw::cli::kExitOk;
    } else {
      code = login ? bw::cli::RunLoginCommand(args) : bw::cli::RunUserCommand(args);
    }
  } else {
    std::fprintf(stderr, "bwctl: unknown area '%s'\n\n%s", area.c_str(), kHelp);
  }
  if (auto notice = bw::RegistryHive::TakeDamageNotice()) {
    std::fprintf(stderr, "%s\n", bw::cli::TerminalText(*notice).c_str());
  }
  bw::SetMessageService(nullptr);
  return code;
}
