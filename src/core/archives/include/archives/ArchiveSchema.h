// The schema every new archive receives, as the statements that make it.
// Other clients of the archives rely on every table, procedure, role and
// initial row, so the texts are fixed; only the archive's name, its file
// path, its GUID and its creation day are spliced in (soundly quoted).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bw {

// The database version a new archive has.
inline constexpr char kArchiveVersion[] = "1.61";

// The archive name of a database: the text behind the prefix when the name
// starts with it (without regard to case); nothing for any other database.
std::optional<std::string> ArchiveNameOf(const std::string& databaseName);

// "CREATE DATABASE …": the database under the bare archive name, whose
// logical data file name is the archive name too.
std::string CreateDatabaseStatement(const std::string& name, const std::string& path);
// 7.0's single-user switch around the rename.
std::string SingleUserStatement(const std::string& databaseName, bool on);
// "sp_renamedb …" from one database name to another.
std::string RenameDatabaseStatement(const std::string& from, const std::string& to);

// The connection string for the new database: the server connection's
// string with the Initial Catalog appended (no second ";" when it ends in one).
std::string NewArchiveConnectionString(const std::string& serverConnectionString,
                                       const std::string& databaseName);

// Every statement run on the new database, in order: roles, tables, indexes,
// view and grants; the procedures with their grants; the two delete
// procedures; the fixed folders; the archive properties; automatic
// shrinking by product version (7: sp_dboption, else ALTER DATABASE).
std::vector<std::string> ArchiveSchemaStatements(const std::string& name, int productVersion,
                                                 const std::string& guid, long creationDay);

// The 51 bytes of the transparent 1×1 GIF of the template document.
const std::vector<std::uint8_t>& TemplateImage();
inline constexpr char kTemplateUrl[] = "file:///c:\\bwblank.gif";
inline constexpr char kTemplateFilename[] = "bwblank.gif";
inline constexpr char kTemplateTitle[] = "Interne Brindlewick-Vorlage. Bitte nicht löschen!";
inline constexpr int kTemplateTypeID = 110;

// Whole days since 30 December 1899 (1 January 2003 is 37622).
long DayNumber(int year, int month, int day);
// Today's local date as a day number.
long TodayDayNumber();

// A whole number with halves rounded to the even neighbour.
long RoundHalfEven(double value);
// The size a log file of `pages` 8-KB pages is shrunk to, in megabytes.
int LogShrinkTarget(double pages);

}  // namespace bw
