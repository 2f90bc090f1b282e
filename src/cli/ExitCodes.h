// Exit codes of every bwctl command, and the code of a console command's
// outcome.
#pragma once

#include "commands/CommandRunner.h"

namespace bw::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;
inline constexpr int kExitNotConfirmed = 4;

inline int ExitOf(commands::Outcome outcome) {
  switch (outcome) {
    case commands::Outcome::Done:
      return kExitOk;
    case commands::Outcome::Refused:
      return kExitRefused;
    case commands::Outcome::Declined:
      return kExitNotConfirmed;
    default:
      return kExitFailed;
  }
}

}  // namespace bw::cli
