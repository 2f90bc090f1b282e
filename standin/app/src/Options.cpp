#include "Options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "engine/Accounts.h"

namespace standin::app {
namespace {

bool ParseInteger(const std::string& text, int& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// NUMBER:once|always:PATTERN; the pattern may itself hold colons.
std::optional<engine::FaultRule> ParseFaultRule(const std::string& text) {
  const std::size_t first = text.find(':');
  if (first == std::string::npos) return std::nullopt;
  const std::size_t second = text.find(':', first + 1);
  if (second == std::string::npos) return std::nullopt;
  engine::FaultRule rule;
  int number = 0;
  if (!ParseInteger(text.substr(0, first), number) || number < 1) return std::nullopt;
  rule.errorNumber = number;
  const std::string mode = text.substr(first + 1, second - first - 1);
  if (mode != "once" && mode != "always") return std::nullopt;
  rule.once = mode == "once";
  rule.pattern = text.substr(second + 1);
  if (rule.pattern.find_first_not_of(" \t") == std::string::npos) return std::nullopt;
  return rule;
}

}  // namespace

std::string HelpText() {
  return R"(Usage: sqlstandin --data-dir DIR [options]
       sqlstandin accounts add|remove|list --data-dir DIR ['DOMAIN\name'] [--group]

A SQL Server 7.0/2000 stand-in: a TDS server (TDS 7.1 to 7.4, no encryption)
that keeps each database in an SQLite file under DIR.

Options:
  --data-dir DIR            data directory; a new one is initialised with the
                            master database and the login sa (needs
                            --sa-password)
  --listen ADDR             IPv4 address to listen on (default 127.0.0.1)
  --port N                  TCP port (default 1433); 0 picks a free port, which
                            the "listening on" line reports
  --sa-password PW          password of the login sa for a new data directory;
                            SQLSTANDIN_SA_PASSWORD in the environment is used
                            when the option is absent (keeps it out of the
                            process list)
  --product-version 8|7     present SQL Server 2000 (8, default) or 7.0 (7)
  --login-mode mixed|windows
                            authentication mode reported to clients (default
                            mixed); only SQL Server logins can connect either way
  --server-name NAME        @@SERVERNAME (default: the host name)
  --drive D=FOLDER           a further fixed drive D: kept in the existing host
                            folder FOLDER (repeatable; not C). Without it a
                            drive is the folder DIR/D when that exists; both
                            kinds are listed by xp_fixeddrives and browsed by
                            xp_dirtree, and databases may live there
  --fulltext installed|absent|unknown
                            whether the full-text search service is there
                            (default installed): FULLTEXTSERVICEPROPERTY
                            ('IsFulltextInstalled') answers 1, 0 or NULL, and
                            without it the full-text procedures fail (7609)
  --control-port N|off      service-control endpoint (BWCTL/1) on the listen
                            address (default 14330): join information, state,
                            start and stop of the service MSSQLSERVER (the TDS
                            listener) for SQL Server logins; 0 picks a free port
  --browser-port N|off      SQL Server Browser responder, UDP (default 1434);
                            0 picks a free port
  --workgroup NAME          workgroup the machine reports (default WORKGROUP)
  --join-status 0-3         join status it reports: 0 unknown, 1 not joined,
                            2 workgroup (default), 3 domain
  --max-connections N       TDS connections served at once (default 256); more
                            are closed as they arrive, and reaching the limit
                            is logged
  --login-delay MS          after a failed login or control-endpoint logon, the
                            next attempts from the same address wait: 100 ms,
                            doubling with each failure up to MS (default 2000);
                            0 turns this off (for tests). Failures are logged
  --fault N:once|always:PATTERN
                            make the next statement (once) or every statement
                            (always) whose text contains PATTERN fail with SQL
                            Server error N; case and runs of white space do not
                            matter; may be repeated. For tests of a client's
                            error paths; the control endpoint's FAULT and
                            NOFAULTS change the rules while running
  --help                    show this text
  --version                 show the program's version

The accounts command manages the Windows accounts the stand-in's machine knows
(DIR/accounts.txt): sp_grantlogin and sp_denylogin accept only those, and
IS_MEMBER knows their groups. --group adds a group rather than a user. A
running server sees changes at once. Windows logins exist for the catalogue;
they cannot connect over TDS.

The protocol is not encrypted: passwords cross the network in the clear, so
keep the listener on loopback or a trusted network. Clients that require
encryption and integrated (Windows) logins are refused with a message.

Logs one line per connection and per error on stderr, "control endpoint
listening on ADDR:PORT" and "browser responder on ADDR:PORT" (or why one could
not start: the stand-in keeps serving TDS), and "listening on ADDR:PORT" when
ready. SIGTERM or SIGINT end every session,
close every database and exit with status 0.
)";
}

namespace {

constexpr std::string_view kValueOptions[] = {
    "--data-dir",        "--listen",          "--port",         "--sa-password",
    "--product-version", "--login-mode",      "--drive",        "--fulltext",
    "--server-name",     "--control-port",    "--browser-port", "--workgroup",
    "--join-status",     "--max-connections", "--login-delay",  "--fault"};

// Sets the option `argument` (one of kValueOptions) to `text`; the error, or "".
std::string SetOption(const std::string& argument, const std::string& text, Options& options) {
  if (argument == "--data-dir") {
    options.dataDir = text;
  } else if (argument == "--listen") {
    options.listenAddress = text;
  } else if (argument == "--port") {
    if (!ParseInteger(text, options.port) || options.port < 0 || options.port > 65535) {
      return "--port needs a number from 0 to 65535, not '" + text + "'";
    }
  } else if (argument == "--sa-password") {
    options.saPassword = text;
  } else if (argument == "--product-version") {
    if (text != "7" && text != "8") {
      return "--product-version must be 8 (SQL Server 2000) or 7 (SQL Server 7.0)";
    }
    options.productVersion = text == "7" ? 7 : 8;
  } else if (argument == "--login-mode") {
    if (text != "mixed" && text != "windows") {
      return "--login-mode must be mixed or windows";
    }
    options.windowsLoginMode = text == "windows";
  } else if (argument == "--drive") {
    const char letter =
        text.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (text.size() < 3 || text[1] != '=' || letter < 'A' || letter > 'Z' || letter == 'C') {
      return "--drive needs a letter other than C, '=' and a folder, not '" + text + "'";
    }
    std::error_code error;
    if (!std::filesystem::is_directory(text.substr(2), error)) {
      return "--drive " + text + ": " + text.substr(2) + " is not a folder";
    }
    options.drives.emplace_back(letter, std::filesystem::absolute(text.substr(2)).string());
  } else if (argument == "--fulltext") {
    if (text == "installed") {
      options.fullTextInstalled = 1;
    } else if (text == "absent") {
      options.fullTextInstalled = 0;
    } else if (text == "unknown") {
      options.fullTextInstalled.reset();
    } else {
      return "--fulltext must be installed, absent or unknown";
    }
  } else if (argument == "--server-name") {
    options.serverName = text;
  } else if (argument == "--control-port" || argument == "--browser-port") {
    int port = -1;
    if (text != "off" && (!ParseInteger(text, port) || port < 0 || port > 65535)) {
      return argument + " needs a number from 0 to 65535 or off, not '" + text + "'";
    }
    (argument == "--control-port" ? options.controlPort : options.browserPort) = port;
  } else if (argument == "--workgroup") {
    options.workgroup = text;
  } else if (argument == "--join-status") {
    if (!ParseInteger(text, options.joinStatus) || options.joinStatus < 0 ||
        options.joinStatus > 3) {
      return "--join-status must be 0, 1, 2 or 3";
    }
  } else if (argument == "--max-connections") {
    if (!ParseInteger(text, options.maxConnections) || options.maxConnections < 1) {
      return "--max-connections needs a number of 1 or more, not '" + text + "'";
    }
  } else if (argument == "--login-delay") {
    if (!ParseInteger(text, options.loginDelayMilliseconds) || options.loginDelayMilliseconds < 0 ||
        options.loginDelayMilliseconds > 60'000) {
      return "--login-delay needs milliseconds from 0 to 60000, not '" + text + "'";
    }
  } else if (argument == "--fault") {
    std::optional<engine::FaultRule> rule = ParseFaultRule(text);
    if (!rule) {
      return "--fault needs NUMBER:once|always:PATTERN with a number of 1 or more, not '" + text +
             "'";
    }
    options.faults.push_back(*rule);
  }
  return "";
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommandLine result;
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      result.help = true;
      return result;
    }
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), argument) ==
        std::end(kValueOptions)) {
      result.error = "unknown option '" + argument + "' (see --help)";
      return result;
    }
    if (i + 1 >= arguments.size()) {
      result.error = argument + " needs a value";
      return result;
    }
    result.error = SetOption(argument, arguments[++i], options);
    if (!result.error.empty()) return result;
  }
  if (options.saPassword.empty()) {
    if (const char* password = std::getenv("SQLSTANDIN_SA_PASSWORD")) options.saPassword = password;
  }
  if (options.dataDir.empty()) {
    result.error = "--data-dir is required (see --help)";
    return result;
  }
  result.options = options;
  return result;
}

int RunAccountsCommand(const std::vector<std::string>& arguments, std::ostream& out,
                       std::ostream& err) {
  std::string action, dataDir, name;
  bool group = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--data-dir" && i + 1 < arguments.size()) {
      dataDir = arguments[++i];
    } else if (argument == "--group") {
      group = true;
    } else if (action.empty()) {
      action = argument;
    } else if (name.empty()) {
      name = argument;
    } else {
      err << "sqlstandin accounts: unexpected argument '" << argument << "' (see --help)\n";
      return 2;
    }
  }
  const bool needsName = action == "add" || action == "remove";
  if ((!needsName && action != "list") || dataDir.empty() || needsName == name.empty()) {
    err << "sqlstandin accounts: usage: sqlstandin accounts add|remove|list --data-dir DIR "
           "['DOMAIN\\name'] [--group]\n";
    return 2;
  }
  try {
    engine::AccountDirectory accounts(dataDir);
    if (action == "add") {
      accounts.Add(name, group);
    } else if (action == "remove") {
      if (!accounts.Remove(name)) {
        err << "sqlstandin accounts: there is no account '" << name << "'\n";
        return 1;
      }
    } else {
      for (const engine::WindowsAccount& account : accounts.List())
        out << (account.group ? "group " : "user  ") << account.name << "\n";
    }
  } catch (const std::exception& failure) {
    err << "sqlstandin accounts: " << failure.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace standin::app
