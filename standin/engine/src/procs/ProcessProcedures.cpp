// Sessions: sp_who.
#include <cctype>

#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"

namespace standin::engine {
namespace {

// NCHAR/CHAR values travel padded to their length, as SQL Server sends them.
std::string Padded(std::string text, std::size_t length) {
  std::size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  if (characters < length) text.append(length - characters, ' ');
  return text;
}

// @loginame may be a login, a spid, or 'active' (sessions not waiting for a
// command). The stand-in has no system processes, so only user sessions
// (spid 51 and up) are listed.
std::int32_t SpWho(ProcedureCall& call) {
  const std::optional<std::string> filter = call.Text(0);
  const std::optional<std::int64_t> spidFilter = call.Integer(0);
  std::vector<std::vector<Value>> rows;
  for (ProcessInfo& process : call.engine.Processes()) {
    if (process.spid == call.spid) {
      process.database = call.currentDatabase;
      process.running = true;
    }
    if (spidFilter) {
      if (process.spid != *spidFilter) continue;
    } else if (filter && EqualsNoCase(*filter, "active")) {
      if (!process.running) continue;
    } else if (filter && !EqualsNoCase(*filter, process.loginName)) {
      continue;
    }
    rows.push_back({std::int64_t{process.spid}, std::int64_t{0},
                    Padded(process.running ? "runnable" : "sleeping", 30),
                    Padded(process.loginName, 128), Padded(process.hostName, 128),
                    std::string("0    "), Padded(process.database, 128),
                    Padded(process.running ? "SELECT" : "AWAITING COMMAND", 16)});
  }
  call.ResultSet(
      {MakeColumn("spid", TypeId::SmallInt, 0, false),
       MakeColumn("ecid", TypeId::SmallInt, 0, false),
       MakeColumn("status", TypeId::NChar, 30, false), MakeColumn("loginame", TypeId::NChar, 128),
       MakeColumn("hostname", TypeId::NChar, 128, false), MakeColumn("blk", TypeId::Char, 5),
       MakeColumn("dbname", TypeId::NChar, 128), MakeColumn("cmd", TypeId::NChar, 16, false)},
      rows);
  return 0;
}

constexpr std::string_view kWhoParameters[] = {"@loginame"};

const SystemProcedure kProcedures[] = {
    {"sp_who", kWhoParameters, SpWho},
};

}  // namespace

std::span<const SystemProcedure> ProcessProcedures() {
  return kProcedures;
}

}  // namespace standin::engine
