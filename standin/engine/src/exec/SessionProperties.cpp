// SERVERPROPERTY and DATABASEPROPERTYEX (SQL Server 2000 only),
// DATABASEPROPERTY, FULLTEXTSERVICEPROPERTY and FULLTEXTCATALOGPROPERTY,
// returning sql_variant (the last three int). The stand-in has no sql_variant, so each
// property comes back as its base type: nvarchar(128) for texts, int for flags
// and numbers. An unknown property or database gives NULL, not an error.
#include <unistd.h>

#include <cctype>

#include "catalog/FullText.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"

namespace standin::engine {
namespace {

constexpr std::int64_t kStatusAutoClose = 1;
constexpr std::int64_t kStatusTruncateLogOnCheckpoint = 8;
constexpr std::int64_t kStatusTornPageDetection = 16;
constexpr std::int64_t kStatusSingleUser = 4096;
constexpr std::int64_t kStatusAutoShrink = 4194304;

std::vector<std::string> Split(const std::string& key) {
  std::vector<std::string> parts{""};
  for (char c : key) {
    if (c == kPropertySeparator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

std::string SessionImpl::PropertyValue(const std::string& key, ColumnType& type) const {
  const std::vector<std::string> parts = Split(key);
  const std::string& function = parts[0];
  // SERVERPROPERTY and DATABASEPROPERTYEX came with SQL Server 2000.
  if (m_Engine.Options().productVersion == 7 &&
      (function == "SERVERPROPERTY" || function == "DATABASEPROPERTYEX")) {
    std::string lower = function;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    RaiseError(195, {lower, "function name"});
  }
  auto text = [&](const std::string& value) {
    type = ColumnType{TypeId::NVarChar, 128, 0, 0};
    return QuoteString(value);
  };
  auto number = [&](std::int64_t value) {
    type = ColumnType{TypeId::Int, 0, 0, 0};
    return std::to_string(value);
  };
  auto null = [&] {
    type = ColumnType{TypeId::NVarChar, 128, 0, 0};
    return std::string("NULL");
  };

  const std::optional<int> fullText = m_Engine.Options().fullTextInstalled;
  if (function == "FULLTEXTSERVICEPROPERTY") {
    const std::string property = Upper(parts[1]);
    if (property == "ISFULLTEXTINSTALLED" && fullText) return number(*fullText);
    return null();
  }
  if (function == "FULLTEXTCATALOGPROPERTY") {
    // In the current database; NULL without the service, for an unknown
    // catalog or property.
    auto it = m_DatabaseState.attached.find(Lower(m_DatabaseState.current));
    if (fullText != 1 || it == m_DatabaseState.attached.end()) return null();
    const std::optional<std::int64_t> value =
        FullTextCatalogProperty(m_Db.get(), it->second, parts[1], parts[2]);
    if (!value) {
      type = ColumnType{TypeId::Int, 0, 0, 0};
      return "NULL";
    }
    return number(*value);
  }
  if (function == "SERVERPROPERTY") {
    const std::string property = Upper(parts[1]);
    if (property == "COLLATION") return text("SQL_Latin1_General_CP1_CI_AS");
    if (property == "EDITION") return text("Standard Edition");
    if (property == "ENGINEEDITION") return number(2);
    if (property == "PRODUCTVERSION") return text(m_Engine.ProductVersion());
    if (property == "PRODUCTLEVEL") return text("SP4");
    if (property == "SERVERNAME" || property == "MACHINENAME") return text(m_Engine.ServerName());
    if (property == "INSTANCENAME" || property == "NUMLICENSES") return null();
    if (property == "ISINTEGRATEDSECURITYONLY")
      return number(m_Engine.Options().windowsLoginMode ? 1 : 0);
    if (property == "ISFULLTEXTINSTALLED") {
      if (!fullText) return null();
      return number(*fullText);
    }
    if (property == "ISCLUSTERED" || property == "ISSINGLEUSER" || property == "ISSYNCWITHBACKUP")
      return number(0);
    if (property == "LICENSETYPE") return text("DISABLED");
    if (property == "PROCESSID") return number(getpid());
    return null();
  }

  // DATABASEPROPERTYEX(database, property) and its older form
  // DATABASEPROPERTY, which knows the flags only (1, 0 or NULL).
  const std::string property = Upper(parts[2]);
  const bool older = function == "DATABASEPROPERTY";
  std::optional<DatabaseDetails> database;
  for (DatabaseDetails& details : m_Engine.Databases().Catalogue()) {
    if (Upper(details.entry.name) == Upper(parts[1])) database = std::move(details);
  }
  if (!database) return null();
  const std::int64_t status = database->status;
  if (property == "COLLATION") return text("SQL_Latin1_General_CP1_CI_AS");
  if (property == "STATUS") return text("ONLINE");
  if (property == "UPDATEABILITY") return text("READ_WRITE");
  if (property == "USERACCESS")
    return text((status & kStatusSingleUser) ? "SINGLE_USER" : "MULTI_USER");
  if (property == "RECOVERY")
    return text((status & kStatusTruncateLogOnCheckpoint) ? "SIMPLE" : "FULL");
  if (property == "ISAUTOSHRINK") return number((status & kStatusAutoShrink) ? 1 : 0);
  if (property == "ISAUTOCLOSE") return number((status & kStatusAutoClose) ? 1 : 0);
  if (property == "ISTORNPAGEDETECTIONENABLED")
    return number((status & kStatusTornPageDetection) ? 1 : 0);
  if (property == "ISAUTOCREATESTATISTICS" || property == "ISAUTOUPDATESTATISTICS")
    return number(1);
  if (property == "ISFULLTEXTENABLED")
    return number(FullTextEnabledInFile(database->entry.hostPath) ? 1 : 0);
  if (older) {
    if (property == "ISSINGLEUSER") return number((status & kStatusSingleUser) ? 1 : 0);
    if (property == "ISTRUNCLOG") return number((status & kStatusTruncateLogOnCheckpoint) ? 1 : 0);
    if (property == "ISINSTANDBY" || property == "ISANSINULLDEFAULT" ||
        property == "ISRECURSIVETRIGGERSENABLED" || property == "ISOFFLINE" ||
        property == "ISREADONLY" || property == "ISDBOONLY")
      return number(0);
    if (property == "VERSION") return number(539);
    if (property != "ISAUTOSHRINK" && property != "ISAUTOCLOSE" &&
        property != "ISTORNPAGEDETECTIONENABLED" && property != "ISAUTOCREATESTATISTICS" &&
        property != "ISAUTOUPDATESTATISTICS")
      return null();
  }
  if (property == "ISINSTANDBY" || property == "ISANSINULLDEFAULT" ||
      property == "ISRECURSIVETRIGGERSENABLED")
    return number(0);
  if (property == "VERSION") return number(539);
  if (property == "SQLSORTORDER") return number(52);
  return null();
}

}  // namespace standin::engine
