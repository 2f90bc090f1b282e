// "bwctl login …" and "bwctl user …": the logins of a registered SQL Server
// and the users of its archives.
#pragma once

#include <string>
#include <vector>

namespace bw::cli {

int RunLoginCommand(const std::vector<std::string>& args);
int RunUserCommand(const std::vector<std::string>& args);
extern const char kLoginHelp[];
extern const char kUserHelp[];

}  // namespace bw::cli
