// "bwctl server …": registrations and the SQL Server service.
#pragma once

#include <string>
#include <vector>

namespace bw::cli {

// Exit codes of every bwctl command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;
inline constexpr int kExitNotConfirmed = 4;

int RunServerCommand(const std::vector<std::string>& args);
extern const char kServerHelp[];

}  // namespace bw::cli
