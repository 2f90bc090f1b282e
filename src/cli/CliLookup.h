// Looking up what a bwctl command names — a registered server, an archive of
// it — and reading a password from a file or the terminal. Each reports its
// failure on standard error, prefixed with the command's area.
#pragma once

#include <string>

#include "archives/Databases.h"
#include "servers/Servers.h"

namespace bw::cli {

// The server with ServerID `id`, connected now when it is not yet, or
// nullptr.
Server* FindServer(Servers& servers, const std::string& id, const char* area);
// The archive named `name` (without the prefix, any case), or nullptr with
// `code` (when given) set: 3 when the login may not open it, else 1.
Database* FindArchive(Databases& catalogue, const std::string& name, const char* area,
                      int* code = nullptr);

// The first line of `file` ("-": standard input).
bool ReadPasswordFile(const std::string& file, std::string& password, const char* area);
// Asks for a new password and its confirmation on the terminal without
// echo; false when there is no terminal to ask.
bool AskNewPassword(std::string& password, std::string& confirmation, const char* area);

}  // namespace bw::cli
