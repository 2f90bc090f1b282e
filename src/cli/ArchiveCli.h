// "bwctl archive …": the archives of a registered SQL Server.
#pragma once

#include <string>
#include <vector>

namespace bw::cli {

int RunArchiveCommand(const std::vector<std::string>& args);
extern const char kArchiveHelp[];

}  // namespace bw::cli
