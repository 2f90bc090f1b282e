// bwctl: the console's commands for administrators and scripts.
#include <cstdio>
#include <string>
#include <vector>

#include "ArchiveCli.h"
#include "SecurityCli.h"
#include "ServerCli.h"
#include "Terminal.h"
#include "TextCli.h"
#include "platform/RegistryHive.h"

namespace {

const char kHelp[] =
    "Usage: bwctl [--yes] AREA COMMAND [ARGS]\n"
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
    "  --help     this text; after an area, that area's commands\n"
    "  --version  the program's version\n"
    "\n"
    "Registrations live in $XDG_CONFIG_HOME/brindlewick/registry.hive (default ~/.config).\n"
    "Messages go to standard error, results to standard output.\n"
    "Exit codes: 0 done, 1 failed, 2 usage, 3 not permitted, 4 not confirmed.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool yes = false;
  bool help = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--version") {
      std::printf("bwctl %s\n", BW_VERSION);
      return bw::cli::kExitOk;
    }
    if (a == "--yes" || a == "-y") {
      yes = true;
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

  bw::InstallHiveSettingsLayer();
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
