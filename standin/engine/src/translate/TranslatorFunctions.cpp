// The built-in functions the translator knows, mapped onto SQLite's and the
// stand-in's own, with SQL Server's result types.
#include <optional>

#include "catalog/LoginCatalog.h"
#include "engine/Errors.h"
#include "translate/Translator.h"
#include "translate/TranslatorSupport.h"

namespace standin::engine {
namespace {

using namespace translation;

// SQL Server functions the stand-in does not have yet: refused with 50100
// rather than 195, which would claim SQL Server does not know them either.
const char* kSqlServerFunctions[] = {"ASCII",
                                     "CHAR",
                                     "NCHAR",
                                     "UNICODE",
                                     "SOUNDEX",
                                     "DIFFERENCE",
                                     "STUFF",
                                     "REVERSE",
                                     "QUOTENAME",
                                     "PATINDEX",
                                     "STR",
                                     "ISNUMERIC",
                                     "ISDATE",
                                     "POWER",
                                     "SQRT",
                                     "SQUARE",
                                     "EXP",
                                     "LOG",
                                     "LOG10",
                                     "SIGN",
                                     "PI",
                                     "RAND",
                                     "SIN",
                                     "COS",
                                     "TAN",
                                     "ASIN",
                                     "ACOS",
                                     "ATAN",
                                     "ATN2",
                                     "DEGREES",
                                     "RADIANS",
                                     "COT",
                                     "SERVERPROPERTY",
                                     "DATABASEPROPERTY",
                                     "DATABASEPROPERTYEX",
                                     "OBJECTPROPERTY",
                                     "COLUMNPROPERTY",
                                     "OBJECT_NAME",
                                     "COL_NAME",
                                     "COL_LENGTH",
                                     "INDEX_COL",
                                     "TYPEPROPERTY",
                                     "IS_MEMBER",
                                     "IS_SRVROLEMEMBER",
                                     "SUSER_SID",
                                     "SUSER_ID",
                                     "USER_ID",
                                     "HAS_DBACCESS",
                                     "PERMISSIONS",
                                     "IDENT_CURRENT",
                                     "IDENT_SEED",
                                     "IDENT_INCR",
                                     "FILE_ID",
                                     "FILE_NAME",
                                     "FILEGROUP_ID",
                                     "FILEGROUP_NAME",
                                     "FILEPROPERTY",
                                     "FULLTEXTCATALOGPROPERTY",
                                     "FULLTEXTSERVICEPROPERTY",
                                     "STDEV",
                                     "STDEVP",
                                     "VAR",
                                     "VARP",
                                     "CHECKSUM",
                                     "BINARY_CHECKSUM",
                                     "CHECKSUM_AGG",
                                     "GROUPING",
                                     "FORMATMESSAGE",
                                     "GETUTCDATE",
                                     "CURSOR_STATUS",
                                     "TEXTPTR",
                                     "TEXTVALID",
                                     "PARSENAME",
                                     "NEWSEQUENTIALID",
                                     "ROWCOUNT_BIG",
                                     "HOST_ID",
                                     "DATENAME"};

}  // namespace

std::string Translator::Argument(const Expr& expr, const Scope* scope, std::size_t index,
                                 ExprType& type) {
  return Expression(*expr.args[index], scope, type);
}

void Translator::RequireArguments(const Expr& expr, std::size_t wanted) {
  if (expr.args.size() != wanted) RaiseError(174, {expr.text, std::to_string(wanted)});
}

// COUNT, COUNT_BIG, SUM, AVG, MIN, MAX.
std::optional<std::string> Translator::AggregateFunction(const Expr& expr, const Scope* scope,
                                                         ExprType& type) {
  const std::string& name = expr.text;
  if (name == "COUNT" || name == "COUNT_BIG") {
    type = Known(name == "COUNT" ? TypeId::Int : TypeId::BigInt);
    RequireArguments(expr, 1);
    if (expr.args[0]->kind == ExprKind::Star) return "count(*)";
    ExprType at;
    std::string value = Argument(expr, scope, 0, at);
    return std::string("count(") + (expr.distinct ? "DISTINCT " : "") + value +
           (expr.distinct && IsTextOrUnknown(at) ? CollateFor({&at}) : "") + ")";
  }
  if (name == "SUM" || name == "AVG" || name == "MIN" || name == "MAX") {
    RequireArguments(expr, 1);
    ExprType at;
    std::string value =
        std::string(expr.distinct ? "DISTINCT " : "") + Argument(expr, scope, 0, at);
    type = at;
    if (name == "SUM" && at.known) {
      if (IsInteger(at.type.id))
        type = Known(at.type.id == TypeId::BigInt ? TypeId::BigInt : TypeId::Int);
      if (at.type.id == TypeId::Decimal || at.type.id == TypeId::Numeric)
        type = Known(DecimalOf(38, at.type.scale));
      if (at.type.id == TypeId::SmallMoney) type = Known(TypeId::Money);
    }
    if (name == "AVG" && at.known) {
      if (IsInteger(at.type.id)) {
        type = Known(at.type.id == TypeId::BigInt ? TypeId::BigInt : TypeId::Int);
        return "CAST(avg(" + value + ") AS INTEGER)";
      }
      if (at.type.id == TypeId::Decimal || at.type.id == TypeId::Numeric) {
        type = Known(DecimalOf(38, std::max<int>(6, at.type.scale)));
      }
    }
    return Lower(name) + "(" + value + ")";
  }
  return std::nullopt;
}

// ISNULL, COALESCE, NULLIF.
std::optional<std::string> Translator::NullHandlingFunction(const Expr& expr, const Scope* scope,
                                                            ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  if (name == "ISNULL") {
    RequireArguments(expr, 2);
    ExprType bt;
    std::string a = Argument(expr, scope, 0, type);
    std::string b = Argument(expr, scope, 1, bt);
    if (expr.args[0]->kind == ExprKind::Null) {
      type = bt;  // ISNULL(NULL, x) is x
    } else if (type.known && bt.known && type.type.id != bt.type.id) {
      b = Convert(b, bt, type.type, false);
    }
    if (!type.known) type = bt;
    return "ifnull(" + a + ", " + b + ")";
  }
  if (name == "COALESCE") {
    if (count < 2) RaiseError(174, {name, "2"});
    std::string sql = "coalesce(";
    for (std::size_t i = 0; i < count; ++i) {
      ExprType at;
      sql += (i ? ", " : "") + Argument(expr, scope, i, at);
      if (expr.args[i]->kind != ExprKind::Null) type = MergeTypes(type, at);
    }
    return sql + ")";
  }
  if (name == "NULLIF") {
    RequireArguments(expr, 2);
    ExprType bt;
    std::string a = Argument(expr, scope, 0, type);
    return "nullif(" + a + ", " + Argument(expr, scope, 1, bt) + ")";
  }
  return std::nullopt;
}

// LEN, DATALENGTH, UPPER, LOWER, LTRIM, RTRIM, SUBSTRING, LEFT, RIGHT, REPLACE,
// CHARINDEX, REPLICATE, SPACE.
std::optional<std::string> Translator::StringFunction(const Expr& expr, const Scope* scope,
                                                      ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  if (name == "LEN" || name == "DATALENGTH") {
    RequireArguments(expr, 1);
    ExprType at;
    std::string value = Argument(expr, scope, 0, at);
    type = Known(TypeId::Int);
    if (name == "LEN") return "length(rtrim(" + value + ", ' '))";
    return "standin_datalength(" + value + ", " + (at.known && IsUnicode(at.type.id) ? "1" : "0") +
           ")";
  }
  if (name == "UPPER" || name == "LOWER" || name == "LTRIM" || name == "RTRIM") {
    RequireArguments(expr, 1);
    std::string value = Argument(expr, scope, 0, type);
    if (name == "UPPER") return "standin_upper(" + value + ")";
    if (name == "LOWER") return "standin_lower(" + value + ")";
    return Lower(name) + "(" + value + ", ' ')";
  }
  if (name == "SUBSTRING") {
    RequireArguments(expr, 3);
    ExprType st, lt;
    std::string value = Argument(expr, scope, 0, type);
    return "substr(" + value + ", " + Argument(expr, scope, 1, st) + ", " +
           Argument(expr, scope, 2, lt) + ")";
  }
  if (name == "LEFT" || name == "RIGHT") {
    RequireArguments(expr, 2);
    ExprType nt;
    std::string value = Argument(expr, scope, 0, type);
    std::string n = Argument(expr, scope, 1, nt);
    if (name == "LEFT") return "substr(" + value + ", 1, " + n + ")";
    return "standin_right(" + value + ", " + n + ")";
  }
  if (name == "REPLACE") {
    RequireArguments(expr, 3);
    ExprType bt, ct;
    std::string a = Argument(expr, scope, 0, type);
    if (type.known && IsCharacter(type.type.id))
      type.type.length = IsUnicode(type.type.id) ? 4000 : 8000;
    return "standin_replace(" + a + ", " + Argument(expr, scope, 1, bt) + ", " +
           Argument(expr, scope, 2, ct) + ")";
  }
  if (name == "CHARINDEX") {
    if (count != 2 && count != 3) RaiseError(174, {name, "2"});
    ExprType at, bt, ct;
    std::string sql =
        "standin_charindex(" + Argument(expr, scope, 0, at) + ", " + Argument(expr, scope, 1, bt);
    sql += count == 3 ? ", " + Argument(expr, scope, 2, ct) + ")" : ", 1)";
    type = Known(TypeId::Int);
    return sql;
  }
  if (name == "REPLICATE" || name == "SPACE") {
    ExprType nt;
    if (name == "SPACE") {
      RequireArguments(expr, 1);
      type = Known(TypeId::VarChar, 8000);
      return "standin_replicate(' ', " + Argument(expr, scope, 0, nt) + ")";
    }
    RequireArguments(expr, 2);
    std::string value = Argument(expr, scope, 0, type);
    if (type.known) type.type.length = IsUnicode(type.type.id) ? 4000 : 8000;
    return "standin_replicate(" + value + ", " + Argument(expr, scope, 1, nt) + ")";
  }
  return std::nullopt;
}

// ABS, ROUND, FLOOR, CEILING.
std::optional<std::string> Translator::NumericFunction(const Expr& expr, const Scope* scope,
                                                       ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  if (name == "ABS" || name == "ROUND" || name == "FLOOR" || name == "CEILING") {
    ExprType nt;
    std::string value = Argument(expr, scope, 0, type);
    if (name == "ABS") {
      RequireArguments(expr, 1);
      return "abs(" + value + ")";
    }
    if (name == "ROUND") {
      if (count < 2) RaiseError(174, {name, "2"});
      return "standin_round(" + value + ", " + Argument(expr, scope, 1, nt) + ")";
    }
    RequireArguments(expr, 1);
    if (type.known && (type.type.id == TypeId::Decimal || type.type.id == TypeId::Numeric)) {
      type.type.scale = 0;
    }
    return (name == "FLOOR" ? "standin_floor(" : "standin_ceiling(") + value + ")";
  }
  return std::nullopt;
}

// GETDATE, CURRENT_TIMESTAMP, NEWID, YEAR, MONTH, DAY, DATEPART, DATEADD,
// DATEDIFF.
std::optional<std::string> Translator::DateTimeFunction(const Expr& expr, const Scope* scope,
                                                        ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  if (name == "GETDATE" || name == "CURRENT_TIMESTAMP") {
    if (count != 0) RaiseError(174, {name, "0"});
    type = Known(TypeId::DateTime);
    return "standin_getdate()";
  }
  if (name == "NEWID") {
    type = Known(TypeId::UniqueIdentifier);
    return "standin_newid()";
  }
  if (name == "YEAR" || name == "MONTH" || name == "DAY") {
    RequireArguments(expr, 1);
    ExprType at;
    type = Known(TypeId::Int);
    return "standin_datepart('" + name + "', " +
           Convert(Argument(expr, scope, 0, at), at, Known(TypeId::DateTime).type, false) + ")";
  }
  if (name == "DATEPART" || name == "DATEADD" || name == "DATEDIFF") {
    ExprType at, bt;
    const ColumnType dateTime = Known(TypeId::DateTime).type;
    if (name == "DATEPART") {
      RequireArguments(expr, 2);
      type = Known(TypeId::Int);
      return "standin_datepart(" + Argument(expr, scope, 0, at) + ", " +
             Convert(Argument(expr, scope, 1, bt), bt, dateTime, false) + ")";
    }
    RequireArguments(expr, 3);
    ExprType ct;
    std::string part = Argument(expr, scope, 0, at);
    std::string b = Argument(expr, scope, 1, bt);
    std::string c = Argument(expr, scope, 2, ct);
    if (name == "DATEADD") {
      type = ct.known && IsDateTime(ct.type.id) ? ct : Known(TypeId::DateTime);
      return "standin_dateadd(" + part + ", " + b + ", " + Convert(c, ct, dateTime, false) + ")";
    }
    type = Known(TypeId::Int);
    return "standin_datediff(" + part + ", " + Convert(b, bt, dateTime, false) + ", " +
           Convert(c, ct, dateTime, false) + ")";
  }
  return std::nullopt;
}

// OBJECT_ID.
std::optional<std::string> Translator::ObjectIdFunction(const Expr& expr, const Scope* /*scope*/,
                                                        ExprType& type) {
  const std::string& name = expr.text;
  if (name == "OBJECT_ID") {
    RequireArguments(expr, 1);
    type = Known(TypeId::Int);
    if (expr.args[0]->kind != ExprKind::String && expr.args[0]->kind != ExprKind::NString) {
      RaiseUnsupported("OBJECT_ID of an expression");
    }
    // Split 'db.owner.name' as the parser would.
    ObjectName object;
    std::vector<std::string> parts{""};
    for (char c : expr.args[0]->text) {
      if (c == '.') {
        parts.emplace_back();
      } else if (c != '[' && c != ']') {
        parts.back() += c;
      }
    }
    object.name = parts.back();
    object.written = expr.args[0]->text;
    if (parts.size() >= 3) object.database = parts[parts.size() - 3];
    if (EqualsNoCase(object.database, "tempdb")) object.database.clear();
    try {
      TableInfo table = m_Context.ResolveTable(object);
      return "(SELECT rowid + 1000 FROM " + QuoteIdentifier(table.schema) +
             ".sqlite_master WHERE type IN ('table', 'view') AND name = " +
             QuoteString(table.name) + ")";
    } catch (const SqlError&) {
    }
    if (object.IsTemp()) return "NULL";
    // Procedures and keys: the database's sysobjects knows their ids.
    try {
      ObjectName catalog;
      catalog.database = object.database;
      catalog.name = catalog.written = "sysobjects";
      TableInfo sysobjects = m_Context.ResolveTable(catalog);
      return "(SELECT id FROM " + QuoteIdentifier(sysobjects.schema) +
             ".sysobjects WHERE name = " + QuoteString(object.name) + " COLLATE standin_ci)";
    } catch (const SqlError&) {
      return "NULL";
    }
  }
  return std::nullopt;
}

// IS_SRVROLEMEMBER, SUSER_SID, SUSER_SNAME(sid): per row from master's logins.
std::optional<std::string> Translator::LoginFunction(const Expr& expr, const Scope* scope,
                                                     ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  if (name == "IS_SRVROLEMEMBER" || name == "SUSER_SID" || (name == "SUSER_SNAME" && count > 0)) {
    // Answered from master's logins per row, so a login or SID may come from
    // a column (SUSER_SNAME(sid) over sysdatabases finds orphaned owners).
    ObjectName logins;
    logins.database = "master";
    logins.name = logins.written = "syslogins";
    const TableInfo table = m_Context.ResolveTable(logins);
    const std::string from =
        " FROM " + QuoteIdentifier(table.schema) + "." + QuoteIdentifier(table.name) + " WHERE ";
    ColumnType currentType;
    const std::string current = m_Context.SystemValue("SUSER_SNAME()", currentType);
    auto loginArgument = [&](std::size_t index) {
      if (index >= count) return current;
      ExprType at;
      return Argument(expr, scope, index, at);
    };
    if (name == "SUSER_SNAME") {
      RequireArguments(expr, 1);
      type = Known(TypeId::NVarChar, 128);
      return "(SELECT name" + from + "sid = " + loginArgument(0) + ")";
    }
    if (name == "SUSER_SID") {
      if (count > 1) RaiseError(174, {name, "1"});
      type = Known(TypeId::VarBinary, 85);
      return "(SELECT sid" + from + "name = " + loginArgument(0) + ")";
    }
    if (count < 1 || count > 2) RaiseError(174, {name, "2"});
    type = Known(TypeId::Int);
    if (expr.args[0]->kind != ExprKind::String && expr.args[0]->kind != ExprKind::NString)
      RaiseUnsupported("IS_SRVROLEMEMBER of a role named by an expression");
    const std::optional<std::string_view> role = FixedServerRole(expr.args[0]->text);
    if (!role) return "CAST(NULL AS INTEGER)";
    // A sysadmin holds every server role's permissions and counts as a member.
    return "(SELECT CASE WHEN sysadmin = 1 OR " + std::string(*role) + " = 1 THEN 1 ELSE 0 END" +
           from + "name = " + loginArgument(1) + ")";
  }
  return std::nullopt;
}

// USER_NAME, USER_ID, IS_MEMBER.
std::optional<std::string> Translator::UserFunction(const Expr& expr, const Scope* scope,
                                                    ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  if ((name == "USER_NAME" && count > 0) || (name == "USER_ID" && count > 0)) {
    // Per row from the current database's users, so an id or name may come
    // from a column (USER_NAME(uid) over sysusers or sysobjects).
    RequireArguments(expr, 1);
    ExprType argumentType;
    const std::string value = Argument(expr, scope, 0, argumentType);
    std::string users;
    try {
      ObjectName catalog;
      catalog.name = catalog.written = "sysusers";
      const TableInfo table = m_Context.ResolveTable(catalog);
      // Aliased, so a column of the caller's sysusers still means the caller's row.
      users = QuoteIdentifier(table.schema) + "." + QuoteIdentifier(table.name) +
              " AS \"sqlstandin$users\"";
    } catch (const SqlError&) {
    }
    if (name == "USER_NAME") {
      type = Known(TypeId::NVarChar, 256);
      return users.empty() ? "CAST(NULL AS TEXT)"
                           : "(SELECT \"sqlstandin$users\".name FROM " + users +
                                 " WHERE \"sqlstandin$users\".uid = " + value + ")";
    }
    type = Known(TypeId::SmallInt);
    return users.empty() ? "CAST(NULL AS INTEGER)"
                         : "(SELECT \"sqlstandin$users\".uid FROM " + users +
                               " WHERE \"sqlstandin$users\".name = " + value + kCollate + ")";
  }
  if (name == "USER_ID") {
    ColumnType valueType;
    std::string sql = m_Context.SystemValue("USER_ID()", valueType);
    type = Known(valueType);
    return sql;
  }
  if (name == "IS_MEMBER") {
    // Answered by the session for its login in the current database.
    RequireArguments(expr, 1);
    if (expr.args[0]->kind != ExprKind::String && expr.args[0]->kind != ExprKind::NString)
      RaiseUnsupported("IS_MEMBER of a role named by an expression");
    ColumnType valueType;
    std::string sql =
        m_Context.SystemValue(name + kPropertySeparator + expr.args[0]->text, valueType);
    type = Known(valueType);
    return sql;
  }
  return std::nullopt;
}

// SERVERPROPERTY, DATABASEPROPERTY[EX], FULLTEXTSERVICEPROPERTY,
// FULLTEXTCATALOGPROPERTY.
std::optional<std::string> Translator::PropertyFunction(const Expr& expr, const Scope* /*scope*/,
                                                        ExprType& type) {
  const std::string& name = expr.text;
  if (name == "SERVERPROPERTY" || name == "DATABASEPROPERTYEX" || name == "DATABASEPROPERTY" ||
      name == "FULLTEXTSERVICEPROPERTY" || name == "FULLTEXTCATALOGPROPERTY") {
    // The session answers from the server's state; a property named by an
    // expression would need a value per row, which nothing sends.
    RequireArguments(expr, name == "SERVERPROPERTY" || name == "FULLTEXTSERVICEPROPERTY" ? 1 : 2);
    std::string key = name;
    for (const ExprPtr& arg : expr.args) {
      if (arg->kind != ExprKind::String && arg->kind != ExprKind::NString)
        RaiseUnsupported(name + " of an expression");
      key += kPropertySeparator + arg->text;
    }
    ColumnType valueType;
    std::string sql = m_Context.SystemValue(key, valueType);
    type = Known(valueType);
    return sql;
  }
  return std::nullopt;
}

std::string Translator::Function(const Expr& expr, const Scope* scope, ExprType& type) {
  const std::string& name = expr.text;
  const std::size_t count = expr.args.size();
  for (auto family :
       {&Translator::AggregateFunction, &Translator::NullHandlingFunction,
        &Translator::StringFunction, &Translator::NumericFunction, &Translator::DateTimeFunction,
        &Translator::ObjectIdFunction, &Translator::LoginFunction, &Translator::UserFunction,
        &Translator::PropertyFunction}) {
    if (std::optional<std::string> sql = (this->*family)(expr, scope, type)) return *sql;
  }
  static constexpr std::string_view kNiladic[] = {
      "SYSTEM_USER", "SESSION_USER", "CURRENT_USER", "USER",      "SUSER_SNAME", "SUSER_NAME",
      "USER_NAME",   "DB_NAME",      "DB_ID",        "HOST_NAME", "APP_NAME",    "SCOPE_IDENTITY"};
  for (std::string_view niladic : kNiladic) {
    if (name != niladic) continue;
    if (count == 0) {
      ColumnType valueType;
      std::string sql = m_Context.SystemValue(name + "()", valueType);
      type = Known(valueType);
      return sql;
    }
    RaiseUnsupported(name + " with an argument");
  }
  for (const char* known : kSqlServerFunctions) {
    if (name == known) RaiseUnsupported("the function " + name);
  }
  RaiseError(195, {Lower(name), "function name"});
}

}  // namespace standin::engine
