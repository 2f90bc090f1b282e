#include "BwctlRun.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bw::testing {

BwctlResult RunBwctl(const std::filesystem::path& home, const std::string& arguments,
                     int guardSeconds, const std::string& environment) {
  const auto out = home / "bwctl.out", err = home / "bwctl.err";
  const std::string line = "XDG_CONFIG_HOME='" + home.string() + "' " + environment +
                           " timeout -s KILL " + std::to_string(guardSeconds) +
                           " '" BWCTL_BINARY "' " + arguments + " </dev/null >'" + out.string() +
                           "' 2>'" + err.string() + "'";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(line.c_str());
  BwctlResult result;
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  auto slurp = [](const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // timeout(1) reports a KILLed child as 137.
  result.code = code == 137 ? -1 : code;
  result.out = slurp(out);
  result.err = slurp(err);
  return result;
}

}  // namespace bw::testing
