// "bwctl server …": registrations and the SQL Server service.
#pragma once

#include <string>
#include <vector>

#include "ExitCodes.h"

namespace bw::cli {

int RunServerCommand(const std::vector<std::string>& args);
extern const char kServerHelp[];

}  // namespace bw::cli
