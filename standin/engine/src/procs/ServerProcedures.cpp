// Server information: xp_msver, xp_fixeddrives, xp_dirtree.
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "common/Text.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/DataDirectory.h"

namespace standin::engine {
namespace {

namespace fs = std::filesystem;

Value TextOrNull(const char* text) {
  if (!text) return std::monostate{};
  return std::string(text);
}

Value NumberOrNull(std::optional<std::int64_t> number) {
  if (!number) return std::monostate{};
  return *number;
}

// The host's processors and memory stand in for the Windows machine's; the
// Windows version is fixed at Server 2003 (5.2, build 3790).
std::int32_t XpMsver(ProcedureCall& call) {
  const bool sql7 = call.engine.Options().productVersion == 7;
  const std::string version = call.engine.ProductVersion();  // "8.00.2039"
  const std::int64_t major = sql7 ? 7 : 8;
  const std::int64_t build = std::stoll(version.substr(version.rfind('.') + 1));
  const std::int64_t processors =
      std::clamp<std::int64_t>(std::thread::hardware_concurrency(), 1, 32);
  const std::int64_t mask = processors >= 32 ? 0xFFFFFFFFLL : (1LL << processors) - 1;
  char maskText[16];
  std::snprintf(maskText, sizeof maskText, "%08llx", static_cast<unsigned long long>(mask));
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  const std::int64_t bytes = pages > 0 && pageSize > 0 ? std::int64_t{pages} * pageSize : 0;
  const std::int64_t megabytes = bytes / (1024 * 1024);
  const std::string memoryText = std::to_string(megabytes) + " (" + std::to_string(bytes) + ")";
  char fileVersion[32];
  std::snprintf(fileVersion, sizeof fileVersion, sql7 ? "1998.070.%04lld.00" : "2000.080.%04lld.00",
                static_cast<long long>(build));
  const std::string copyright = sql7 ? "\xC2\xA9 1988-2002 Microsoft Corp. All rights reserved."
                                     : "\xC2\xA9 1988-2003 Microsoft Corp. All rights reserved.";

  struct Row {
    const char* name;
    std::optional<std::int64_t> internal;
    Value character;
  };
  const std::vector<Row> all = {
      {"ProductName", std::nullopt, TextOrNull("Microsoft SQL Server")},
      {"ProductVersion", major << 16, version},
      {"Language", 1033, TextOrNull("English (United States)")},
      {"Platform", std::nullopt, TextOrNull("NT INTEL X86")},
      {"Comments", std::nullopt, TextOrNull("NT INTEL X86")},
      {"CompanyName", std::nullopt, TextOrNull("Microsoft Corporation")},
      {"FileDescription", std::nullopt, TextOrNull("SQL Server Windows NT")},
      {"FileVersion", std::nullopt, std::string(fileVersion)},
      {"InternalName", std::nullopt, TextOrNull("SQLSERVR")},
      {"LegalCopyright", std::nullopt, copyright},
      {"LegalTrademarks", std::nullopt,
       TextOrNull("Microsoft\xC2\xAE is a registered trademark of Microsoft Corporation. "
                  "Windows(TM) is a trademark of Microsoft Corporation")},
      {"OriginalFilename", std::nullopt, TextOrNull("SQLSERVR.EXE")},
      {"PrivateBuild", std::nullopt, std::monostate{}},
      {"SpecialBuild", build << 16, std::monostate{}},
      {"WindowsVersion", (3790LL << 16) | (2 << 8) | 5, TextOrNull("5.2 (3790)")},
      {"ProcessorCount", processors, std::to_string(processors)},
      {"ProcessorActiveMask", mask, std::string(maskText)},
      {"ProcessorType", 586, TextOrNull("PROCESSOR_INTEL_PENTIUM")},
      {"PhysicalMemory", megabytes, memoryText},
      {"Product ID", std::nullopt, std::monostate{}},
  };
  const std::optional<std::string> wanted = call.Text(0);
  std::vector<std::vector<Value>> rows;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (wanted && Lower(*wanted) != Lower(all[i].name)) continue;
    rows.push_back({static_cast<std::int64_t>(i + 1), std::string(all[i].name),
                    NumberOrNull(all[i].internal), all[i].character});
  }
  call.ResultSet({MakeColumn("Index", TypeId::SmallInt), MakeColumn("Name", TypeId::NVarChar, 128),
                  MakeColumn("Internal_Value", TypeId::Int),
                  MakeColumn("Character_Value", TypeId::NVarChar, 255)},
                 rows);
  return 0;
}

// Every mapped drive is a one-letter folder of the data directory; its free
// space is the host file system's.
std::int32_t XpFixeddrives(ProcedureCall& call) {
  std::vector<std::vector<Value>> rows;
  for (const auto& [letter, drive] : call.engine.Data().Drives()) {
    struct statvfs info {};
    if (statvfs(drive.c_str(), &info) != 0) continue;
    const auto freeBytes =
        static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
    rows.push_back({std::string(1, letter), freeBytes / (1024 * 1024)});
  }
  call.ResultSet(
      {MakeColumn("drive", TypeId::Char, 1, false), MakeColumn("MB free", TypeId::Int, 0, false)},
      rows);
  return 0;
}

// SQLite's own side files never show: to a client a database is its .mdf
// and .LDF.
bool IsSideFile(const std::string& name) {
  for (std::string_view suffix : {"-wal", "-shm", "-journal"}) {
    if (name.size() > suffix.size() && Lower(name.substr(name.size() - suffix.size())) == suffix)
      return true;
  }
  return false;
}

void ListTree(const fs::path& folder, std::int64_t depth, std::int64_t maxDepth, bool files,
              std::vector<std::vector<Value>>& rows) {
  std::vector<std::pair<std::string, bool>> entries;  // name, is a folder
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    // Links are not followed: nothing outside the data directory shows.
    const fs::file_status status = it->symlink_status(error);
    if (error) break;
    const std::string name = it->path().filename().string();
    if (fs::is_directory(status)) {
      entries.emplace_back(name, true);
    } else if (fs::is_regular_file(status) && !IsSideFile(name)) {
      entries.emplace_back(name, false);
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return Lower(a.first) < Lower(b.first); });
  for (const auto& [name, isFolder] : entries) {
    if (!isFolder && !files) continue;
    std::vector<Value> row{name, depth};
    if (files) row.emplace_back(std::int64_t{isFolder ? 0 : 1});
    rows.push_back(std::move(row));
    if (isFolder && (maxDepth == 0 || depth < maxDepth))
      ListTree(folder / name, depth + 1, maxDepth, files, rows);
  }
}

// A path that does not exist, or lies on a drive that is not mapped, gives
// an empty list, as SQL Server's does.
std::int32_t XpDirtree(ProcedureCall& call) {
  const std::string path = call.Text(0).value_or("");
  const std::int64_t maxDepth = std::max<std::int64_t>(0, call.Integer(1).value_or(0));
  const bool files = call.Integer(2).value_or(0) != 0;
  std::vector<std::vector<Value>> rows;
  std::optional<fs::path> folder = call.engine.Data().MapExistingPath(path);
  if (folder) ListTree(*folder, 1, maxDepth, files, rows);
  std::vector<Column> columns{MakeColumn("subdirectory", TypeId::NVarChar, 255),
                              MakeColumn("depth", TypeId::Int)};
  if (files) columns.push_back(MakeColumn("file", TypeId::Int));
  call.ResultSet(columns, rows);
  return 0;
}

constexpr std::string_view kMsverParameters[] = {"@optname"};
constexpr std::string_view kNoParameters[] = {""};
constexpr std::string_view kDirtreeParameters[] = {"@directory", "@depth", "@file"};

const SystemProcedure kProcedures[] = {
    {"xp_msver", kMsverParameters, XpMsver},
    {"xp_fixeddrives", std::span(kNoParameters, 0), XpFixeddrives},
    {"xp_dirtree", kDirtreeParameters, XpDirtree},
};

}  // namespace

std::span<const SystemProcedure> ServerProcedures() {
  return kProcedures;
}

}  // namespace standin::engine
