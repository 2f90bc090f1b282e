// SQL Server 2000 texts and severities of every error the stand-in raises.
#include "engine/Errors.h"

#include <algorithm>
#include <array>

namespace standin::engine {
namespace {

constexpr std::array kErrors = {
    ErrorInfo{0, 0, 1, "%ls"},  // PRINT
    ErrorInfo{102, 15, 1, "Incorrect syntax near '%.*ls'."},
    // The first argument is the kind of name ("identifier"), then its first
    // 128 characters and the limit.
    ErrorInfo{103, 15, 4, "The %ls that starts with '%.*ls' is too long. Maximum length is %d."},
    ErrorInfo{104, 15, 1,
              "ORDER BY items must appear in the select list if the statement contains a UNION "
              "operator."},
    ErrorInfo{105, 15, 1, "Unclosed quotation mark before the character string '%.*ls'."},
    ErrorInfo{107, 16, 2,
              "The column prefix '%.*ls' does not match with a table name or alias name used in "
              "the query."},
    ErrorInfo{108, 15, 1,
              "The ORDER BY position number %ld is out of range of the number of items in the "
              "select list."},
    ErrorInfo{109, 15, 1,
              "There are more columns in the INSERT statement than values specified in the VALUES "
              "clause. The number of values in the VALUES clause must match the number of columns "
              "specified in the INSERT statement."},
    ErrorInfo{110, 15, 1,
              "There are fewer columns in the INSERT statement than values specified in the VALUES "
              "clause. The number of values in the VALUES clause must match the number of columns "
              "specified in the INSERT statement."},
    ErrorInfo{111, 15, 1, "'%ls' must be the first statement in a query batch."},
    ErrorInfo{113, 15, 1, "Missing end comment mark '*/'."},
    ErrorInfo{119, 15, 1,
              "Must pass parameter number %d and subsequent parameters as '@name = value'. After "
              "the form '@name = value' has been used, all subsequent parameters must be passed in "
              "the form '@name = value'."},
    ErrorInfo{134, 15, 1,
              "The variable name '%.*ls' has already been declared. Variable names must be unique "
              "within a query batch or stored procedure."},
    ErrorInfo{135, 15, 1, "Cannot use a BREAK statement outside the scope of a WHILE statement."},
    ErrorInfo{136, 15, 1,
              "Cannot use a CONTINUE statement outside the scope of a WHILE statement."},
    ErrorInfo{137, 15, 2, "Must declare the variable '%.*ls'."},
    ErrorInfo{141, 15, 1,
              "A SELECT statement that assigns a value to a variable must not be combined with "
              "data-retrieval operations."},
    ErrorInfo{156, 15, 1, "Incorrect syntax near the keyword '%.*ls'."},
    ErrorInfo{170, 15, 1, "Line %d: Incorrect syntax near '%.*ls'."},
    ErrorInfo{174, 15, 1, "The %.*ls function requires %d arguments."},
    ErrorInfo{191, 15, 1,
              "Some part of your SQL statement is nested too deeply. Rewrite the query or break "
              "it up into smaller queries."},
    ErrorInfo{195, 15, 10, "'%.*ls' is not a recognized %ls."},
    ErrorInfo{201, 16, 4, "Procedure '%.*ls' expects parameter '%.*ls', which was not supplied."},
    ErrorInfo{205, 16, 1,
              "All queries in an SQL statement containing a UNION operator must have an equal "
              "number of expressions in their target lists."},
    ErrorInfo{207, 16, 3, "Invalid column name '%.*ls'."},
    ErrorInfo{208, 16, 1, "Invalid object name '%.*ls'."},
    ErrorInfo{209, 16, 1, "Ambiguous column name '%.*ls'."},
    ErrorInfo{213, 16, 4,
              "Insert Error: Column name or number of supplied values does not match table "
              "definition."},
    ErrorInfo{220, 16, 2, "Arithmetic overflow error for data type %ls, value = %ld."},
    ErrorInfo{226, 16, 1, "%ls statement not allowed within multi-statement transaction."},
    ErrorInfo{229, 14, 1,
              "%ls permission denied on object '%.*ls', database '%.*ls', owner '%.*ls'."},
    ErrorInfo{241, 16, 1, "Syntax error converting datetime from character string."},
    ErrorInfo{245, 16, 1,
              "Syntax error converting the %ls value '%.*ls' to a column of data type %ls."},
    ErrorInfo{259, 16, 1,
              "Ad hoc updates to system catalogs are not enabled. The system administrator must "
              "reconfigure SQL Server to allow this."},
    ErrorInfo{262, 14, 1, "%ls permission denied in database '%.*ls'."},
    ErrorInfo{263, 16, 1, "Must specify table to select from."},
    ErrorInfo{447, 16, 1, "Expression type %ls is invalid for COLLATE clause."},
    ErrorInfo{512, 16, 1,
              "Subquery returned more than 1 value. This is not permitted when the subquery "
              "follows =, !=, <, <= , >, >= or when the subquery is used as an expression."},
    ErrorInfo{515, 16, 2,
              "Cannot insert the value NULL into column '%.*ls', table '%.*ls'; column does not "
              "allow nulls. %ls fails."},
    ErrorInfo{544, 16, 1,
              "Cannot insert explicit value for identity column in table '%.*ls' when "
              "IDENTITY_INSERT is set to OFF."},
    ErrorInfo{911, 16, 1,
              "Could not locate entry in sysdatabases for database '%.*ls'. No entry found with "
              "that name. Make sure that the name is entered correctly."},
    ErrorInfo{916, 14, 1, "Server user '%.*ls' is not a valid user in database '%.*ls'."},
    ErrorInfo{1222, 16, 51, "Lock request time out period exceeded."},
    ErrorInfo{1801, 16, 3, "Database '%.*ls' already exists."},
    ErrorInfo{1802, 11, 1,
              "CREATE DATABASE failed. Some file names listed could not be created. Check "
              "previous errors."},
    ErrorInfo{1805, 10, 1, "The CREATE DATABASE process is allocating %.2f MB on disk '%.*ls'."},
    ErrorInfo{1813, 16, 2, "Could not open new database '%.*ls'. CREATE DATABASE is aborted."},
    ErrorInfo{1911, 16, 1, "Column name '%.*ls' does not exist in the target table."},
    ErrorInfo{1913, 16, 1, "There is already an index on table '%.*ls' named '%.*ls'."},
    ErrorInfo{1919, 16, 1,
              "Column '%.*ls'. Cannot create index on a column of text, ntext, or image data "
              "type."},
    // SQL Server 2000 sends 1945 as a warning: the index is created.
    ErrorInfo{1945, 10, 1,
              "Warning! The maximum key length is 900 bytes. The index '%.*ls' has maximum length "
              "of %d bytes. For some combination of large values, the insert/update operation "
              "will fail."},
    ErrorInfo{1946, 16, 3,
              "Operation failed. The index entry of length %d bytes for the index '%.*ls' exceeds "
              "the maximum length of 900 bytes."},
    ErrorInfo{2528, 10, 1,
              "DBCC execution completed. If DBCC printed error messages, contact your system "
              "administrator."},
    ErrorInfo{2571, 14, 1, "User '%.*ls' does not have permission to run DBCC %.*ls."},
    ErrorInfo{2601, 14, 1,
              "Cannot insert duplicate key row in object '%.*ls' with unique index '%.*ls'."},
    ErrorInfo{
        2627, 14, 1,
        "Violation of %ls constraint '%.*ls'. Cannot insert duplicate key in object '%.*ls'."},
    ErrorInfo{2705, 16, 4,
              "Column names in each table must be unique. Column name '%.*ls' in table '%.*ls' is "
              "specified more than once."},
    ErrorInfo{2714, 16, 6, "There is already an object named '%.*ls' in the database."},
    ErrorInfo{2744, 16, 2,
              "Multiple identity columns specified for table '%.*ls'. Only one identity column per "
              "table is allowed."},
    ErrorInfo{2749, 16, 2,
              "Identity column '%.*ls' must be of data type int, bigint, smallint, tinyint, or "
              "decimal or numeric with a scale of 0, and constrained to be nonnullable."},
    ErrorInfo{2812, 16, 62, "Could not find stored procedure '%.*ls'."},
    ErrorInfo{3013, 16, 1, "%ls is terminating abnormally."},
    ErrorInfo{3021, 16, 1, "Cannot perform a backup or restore operation within a transaction."},
    ErrorInfo{3621, 10, 1, "The statement has been terminated."},
    // The first argument names the kind of object: table, view, index.
    ErrorInfo{3701, 11, 5,
              "Cannot drop the %ls '%.*ls', because it does not exist in the system catalog."},
    ErrorInfo{3702, 16, 3, "Cannot drop the database '%.*ls' because it is currently in use."},
    ErrorInfo{3703, 16, 1, "Cannot detach the database '%.*ls' because it is currently in use."},
    // DROP VIEW of a table or DROP TABLE of a view: the statement, the name
    // twice, what the object is and the statement to use.
    ErrorInfo{3704, 16, 1, "User does not have permission to drop this database."},
    ErrorInfo{3705, 16, 1,
              "Cannot use DROP %ls with '%.*ls' because '%.*ls' is %ls. Use DROP %ls."},
    ErrorInfo{3708, 16, 1, "Cannot drop the database '%.*ls' because it is a system database."},
    ErrorInfo{3738, 10, 1, "Deleting database file '%.*ls'."},
    ErrorInfo{3902, 16, 1,
              "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    ErrorInfo{3903, 16, 1,
              "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    // The protocol layer's description of the malformed request is the text.
    ErrorInfo{4002, 16, 1, "%ls"},
    ErrorInfo{4060, 11, 1, "Cannot open database requested in login '%.*ls'. Login fails."},
    ErrorInfo{4062, 11, 1, "Cannot open user default database. Using master database instead."},
    ErrorInfo{4145, 15, 1,
              "An expression of non-boolean type specified in a context where a condition is "
              "expected, near '%.*ls'."},
    ErrorInfo{4403, 16, 1,
              "View or function '%.*ls' is not updatable because it contains aggregates."},
    ErrorInfo{4404, 16, 1,
              "View or function '%.*ls' is not updatable because the definition contains the "
              "DISTINCT clause."},
    ErrorInfo{4405, 16, 1,
              "View or function '%.*ls' is not updatable because the modification affects "
              "multiple base tables."},
    ErrorInfo{4406, 16, 1,
              "Update or insert of view or function '%.*ls' failed because it contains a derived "
              "or constant field."},
    ErrorInfo{4436, 16, 1,
              "UNION ALL view '%.*ls' is not updatable because a partitioning column was not "
              "found."},
    ErrorInfo{4602, 14, 1,
              "Only members of the sysadmin role can grant or revoke the CREATE DATABASE "
              "permission."},
    ErrorInfo{4604, 16, 1, "There is no such user or group '%.*ls'."},
    ErrorInfo{4606, 16, 1, "Granted or revoked privilege %ls is not compatible with object."},
    ErrorInfo{4613, 16, 1, "Grantor does not have GRANT permission."},
    ErrorInfo{4617, 16, 1, "Cannot grant, deny or revoke permissions to or from special roles."},
    ErrorInfo{4619, 16, 1,
              "CREATE DATABASE permission can only be granted in the master database."},
    ErrorInfo{4901, 16, 1,
              "ALTER TABLE only allows columns to be added that can contain nulls or have a "
              "DEFAULT definition specified. Column '%.*ls' cannot be added to table '%.*ls' "
              "because it does not allow nulls and does not specify a DEFAULT definition."},
    ErrorInfo{4922, 16, 9,
              "ALTER TABLE ALTER COLUMN %.*ls failed because one or more objects access this "
              "column."},
    ErrorInfo{4924, 16, 1,
              "ALTER TABLE ALTER COLUMN failed because column '%.*ls' does not exist in table "
              "'%.*ls'."},
    ErrorInfo{5021, 10, 1, "The database name '%.*ls' has been set."},
    ErrorInfo{5030, 16, 1,
              "The database could not be exclusively locked to perform the operation."},
    ErrorInfo{5070, 16, 2,
              "Database state cannot be changed while other users are using the database '%.*ls'"},
    ErrorInfo{5074, 16, 8, "The %ls '%.*ls' is dependent on column '%.*ls'."},
    ErrorInfo{5105, 16, 1,
              "Device activation error. The physical file name '%.*ls' may be incorrect."},
    ErrorInfo{5120, 16, 101,
              "Unable to open the physical file \"%.*ls\". Operating system error %d: \"%ls\"."},
    ErrorInfo{5123, 16, 1,
              "CREATE FILE encountered operating system error %ls while attempting to open or "
              "create the physical file '%.*ls'."},
    ErrorInfo{5170, 16, 1, "Cannot create file '%.*ls' because it already exists."},
    ErrorInfo{5172, 16, 1,
              "The header for file '%ls' is not a valid database file header. The %ls property is "
              "incorrect."},
    ErrorInfo{5182, 10, 1, "New log file '%.*ls' was created."},
    ErrorInfo{5701, 10, 1, "Changed database context to '%.*ls'."},
    ErrorInfo{5703, 10, 1, "Changed language setting to %.*ls."},
    ErrorInfo{6102, 14, 1, "User does not have permission to use the KILL statement."},
    ErrorInfo{6104, 16, 1, "Cannot use KILL to kill your own process."},
    ErrorInfo{6106, 16, 2, "Process ID %d is not an active process ID."},
    ErrorInfo{7609, 17, 1,
              "Full-Text Search is not installed, or a full-text component cannot be loaded."},
    ErrorInfo{7610, 16, 1,
              "Access is denied to '%.*ls', or the path is invalid. Full-text search was not "
              "installed properly."},
    ErrorInfo{7641, 16, 1, "Full-Text catalog '%ls' does not exist."},
    ErrorInfo{7642, 16, 1, "A full-text catalog named '%ls' already exists in this database."},
    ErrorInfo{7940, 16, 1, "System databases master, model, msdb, and tempdb cannot be detached."},
    ErrorInfo{8102, 16, 1, "Cannot update identity column '%.*ls'."},
    ErrorInfo{8107, 16, 1,
              "IDENTITY_INSERT is already ON for table '%.*ls'. Cannot perform SET operation for "
              "table '%.*ls'."},
    ErrorInfo{8110, 16, 1, "Cannot add multiple PRIMARY KEY constraints to table '%.*ls'."},
    ErrorInfo{8114, 16, 5, "Error converting data type %ls to %ls."},
    ErrorInfo{8115, 16, 2, "Arithmetic overflow error converting %ls to data type %ls."},
    ErrorInfo{8134, 16, 1, "Divide by zero error encountered."},
    ErrorInfo{8144, 16, 2, "Procedure or function %.*ls has too many arguments specified."},
    ErrorInfo{8145, 16, 2, "%.*ls is not a parameter for procedure %.*ls."},
    ErrorInfo{8152, 16, 9, "String or binary data would be truncated."},
    ErrorInfo{8155, 16, 2, "No column was specified for column %d of '%.*ls'."},
    ErrorInfo{8169, 16, 2, "Syntax error converting from a character string to uniqueidentifier."},
    ErrorInfo{8178, 16, 1,
              "Prepared statement '%.*ls' expects parameter %.*ls, which was not supplied."},
    ErrorInfo{8179, 16, 2, "Could not find prepared statement with handle %d."},
    ErrorInfo{8985, 16, 1, "Could not locate file '%.*ls' in sysfiles."},
    ErrorInfo{15006, 16, 1, "'%s' is not a valid name because it contains invalid characters."},
    ErrorInfo{15007, 16, 1, "The login '%s' does not exist."},
    ErrorInfo{15008, 16, 1, "User '%s' does not exist in the current database."},
    ErrorInfo{15009, 16, 1, "The object '%s' does not exist in database '%s'."},
    ErrorInfo{15010, 16, 1,
              "The database '%s' does not exist. Use sp_helpdb to show available databases."},
    ErrorInfo{15011, 16, 1, "Database option '%s' does not exist."},
    ErrorInfo{15014, 16, 1, "The role '%s' does not exist in the current database."},
    ErrorInfo{15023, 16, 1, "User or role '%s' already exists in the current database."},
    ErrorInfo{15025, 16, 1, "The login '%s' already exists."},
    ErrorInfo{15032, 16, 1, "The database '%s' already exists."},
    ErrorInfo{15063, 16, 1, "The login already has an account under a different user name."},
    ErrorInfo{15081, 16, 1, "Membership of the public role cannot be changed."},
    ErrorInfo{15109, 16, 1, "Cannot change the owner of the master database."},
    ErrorInfo{15110, 16, 1, "The proposed new database owner is already a user in the database."},
    ErrorInfo{15144, 16, 1, "The role has members. It must be empty before it can be dropped."},
    ErrorInfo{15174, 16, 1,
              "Login '%s' owns one or more database(s). Change the owner of the following "
              "database(s) before dropping login:"},
    ErrorInfo{15175, 16, 1,
              "Login '%s' is aliased or mapped to a user in one or more database(s). Drop the "
              "user or alias before dropping the login."},
    ErrorInfo{15181, 16, 1, "Cannot drop the database owner."},
    ErrorInfo{15182, 16, 1, "Cannot drop the guest user from master or tempdb."},
    ErrorInfo{15197, 16, 1, "There is no text for object '%s'."},
    ErrorInfo{15198, 16, 1, "The name supplied (%s) is not a user, role, or aliased login."},
    ErrorInfo{15210, 16, 1,
              "Only members of the sysadmin role can use the loginame option. The password was "
              "not changed."},
    ErrorInfo{15211, 16, 1,
              "Old (current) password incorrect for user. The password was not changed."},
    ErrorInfo{15241, 16, 1, "Usage: sp_dboption [dbname [,optname [,'true' | 'false']]]"},
    ErrorInfo{15243, 16, 1, "The option '%s' cannot be changed for the master database."},
    ErrorInfo{15247, 16, 1, "User does not have permission to perform this action."},
    ErrorInfo{15298, 0, 1, "New login created."},
    ErrorInfo{15341, 0, 1, "Granted database access to '%s'."},
    ErrorInfo{15401, 11, 1, "Windows NT user or group '%s' not found. Check the name again."},
    ErrorInfo{15402, 11, 1, "'%s' is not a fixed server role."},
    ErrorInfo{15405, 11, 1, "Cannot use the reserved user or role name '%s'."},
    ErrorInfo{15407, 11, 1,
              "'%s' is not a valid Windows NT name. Give the complete name: <domain\\username>."},
    ErrorInfo{15409, 11, 1, "'%s' is not a role."},
    ErrorInfo{15410, 11, 1, "User or role '%s' does not exist in this database."},
    ErrorInfo{15412, 11, 1, "'%s' is not a known fixed role."},
    ErrorInfo{15413, 11, 1, "Cannot make a role a member of itself."},
    ErrorInfo{15424, 0, 1, "New role added."},
    ErrorInfo{15425, 0, 1, "Role dropped."},
    ErrorInfo{15434, 16, 1, "Could not drop login '%s' as the user is currently logged in."},
    ErrorInfo{15478, 0, 1, "Password changed."},
    ErrorInfo{15479, 0, 1, "Login dropped."},
    ErrorInfo{15481, 0, 1, "Granted login access to '%s'."},
    ErrorInfo{15483, 0, 1, "Denied login access to '%s'."},
    ErrorInfo{15485, 0, 1, "Revoked login access from '%s'."},
    ErrorInfo{15488, 0, 1, "'%s' added to role '%s'."},
    ErrorInfo{15489, 0, 1, "'%s' dropped from role '%s'."},
    ErrorInfo{15491, 0, 1, "User has been dropped from current database."},
    ErrorInfo{15501, 10, 1, "Database owner changed."},
    ErrorInfo{15600, 15, 1, "An invalid parameter or option was specified for procedure '%s'."},
    ErrorInfo{15601, 16, 1,
              "Full-Text Search is not enabled for the current database. Use sp_fulltext_database "
              "to enable Full-Text Search."},
    ErrorInfo{15604, 16, 1,
              "Cannot drop full-text catalog '%ls' because it contains a full-text index."},
    ErrorInfo{15605, 16, 1, "A full-text index for table '%ls' has already been created."},
    ErrorInfo{15606, 16, 1, "You must first create a full-text index on table '%ls'."},
    ErrorInfo{15607, 16, 1,
              "'%ls' is not a valid index to enforce a full-text search key. You must specify a "
              "unique, non-nullable, single-column index."},
    ErrorInfo{15608, 16, 1, "Full-text search has already been activated for table '%ls'."},
    ErrorInfo{15609, 16, 1,
              "Cannot activate full-text search for table '%ls' because no columns have been "
              "enabled for full-text search."},
    ErrorInfo{15610, 16, 1,
              "You must deactivate full-text search on table '%ls' before adding columns to or "
              "removing columns from the full-text index."},
    ErrorInfo{15611, 16, 1,
              "Column '%ls' of table '%ls' cannot be used for full-text search because it is not a "
              "character-based column."},
    ErrorInfo{18452, 14, 1,
              "Login failed for user '(null)'. Reason: Not associated with a trusted SQL Server "
              "connection."},
    ErrorInfo{18456, 14, 1, "Login failed for user '%.*ls'."},
    // RAISERROR with a message text: severity and state as the statement gives them.
    ErrorInfo{50000, 16, 1, "%ls"},
    ErrorInfo{kErrorUnsupported, 16, 1, "sqlstandin does not support %ls."},
    ErrorInfo{kErrorStorage, 16, 1, "sqlstandin storage error: %ls"},
};

constexpr bool IsSorted() {
  for (std::size_t i = 1; i < kErrors.size(); ++i) {
    if (kErrors[i - 1].number >= kErrors[i].number) return false;
  }
  return true;
}
static_assert(IsSorted(), "keep the error table sorted by number");

std::string Fill(std::string_view format, std::initializer_list<std::string_view> arguments) {
  std::string out;
  auto next = arguments.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    std::size_t end = i + 1;
    while (end < format.size() &&
           (format[end] == '.' || format[end] == '*' || (format[end] >= '0' && format[end] <= '9')))
      ++end;
    if (end < format.size() && format[end] == 'l') ++end;
    if (end < format.size()) ++end;  // the conversion letter
    if (next != arguments.end()) out += *next++;
    i = end - 1;
  }
  return out;
}

}  // namespace

const ErrorInfo* FindError(std::int32_t number) {
  auto it = std::lower_bound(kErrors.begin(), kErrors.end(), number,
                             [](const ErrorInfo& info, std::int32_t n) { return info.number < n; });
  if (it == kErrors.end() || it->number != number) return nullptr;
  return &*it;
}

Message MakeMessage(std::int32_t number, std::initializer_list<std::string_view> arguments) {
  Message message;
  message.number = number;
  if (const ErrorInfo* info = FindError(number)) {
    message.severity = info->severity;
    message.state = info->state;
    message.text = Fill(info->format, arguments);
  } else {
    message.severity = 16;
    for (std::string_view argument : arguments) message.text += argument;
  }
  return message;
}

void RaiseError(std::int32_t number, std::initializer_list<std::string_view> arguments) {
  throw SqlError(MakeMessage(number, arguments));
}

void RaiseUnsupported(std::string_view construct) {
  RaiseError(kErrorUnsupported, {construct});
}

}  // namespace standin::engine
