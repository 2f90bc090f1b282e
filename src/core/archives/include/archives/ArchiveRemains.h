// Recognising an archive that its creation did not finish (the program or the
// server ended half-way): what a new archive has and this one lacks, and
// whether what is there is no more than a creation leaves behind, so that
// removing it loses nothing.
//
// A creation makes, in this order: the database under the bare archive name,
// the rename to the prefixed name, the tables, the archive version among the
// properties, and last the template document. Nothing is judged without
// evidence: when the login may not look, the archive counts as complete.
#pragma once

#include <string>
#include <vector>

#include "data/DataAccess.h"

namespace bw {

struct ArchiveContents {
  bool known = false;                      // false: the login could not look
  std::vector<std::string> missingTables;  // archive tables that are not there
  std::vector<std::string> foreignTables;  // tables no archive is made with
  bool hasVersion = false;                 // the "Archive Version" property
  bool hasTemplate = false;                // the template document
  long documents = 0;                      // rows of Document (0 when it is missing)
};

// Looks at the database `connection` is in (its tables, the version property,
// the documents). Never raises: a query that fails leaves `known` false.
ArchiveContents InspectArchive(Connection& connection);

// What a new archive has that these contents lack ("has no template
// document", …); "" when nothing is missing or nothing is known.
std::string IncompleteReason(const ArchiveContents& contents);

// True when the contents are incomplete and hold nothing but what a creation
// makes before its end: archive tables only and no document at all.
bool IsCreationRemains(const ArchiveContents& contents);

// What an interrupted creation of one archive left on the server.
struct ArchiveRemains {
  std::string databaseName;  // the database to drop
  bool bareName = false;     // left before the rename, under the bare name
  std::string reason;        // what it lacks, for the question
};

}  // namespace bw
