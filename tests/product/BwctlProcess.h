// Runs bwctl as a process with its own configuration home, standard input
// closed (nobody to answer a question) and both outputs captured.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bw::testing {

struct BwctlRun {
  int code;
  std::string out, err;
};

// `environment` holds extra "NAME=value" assignments.
inline BwctlRun RunBwctl(const std::filesystem::path& home,
                         const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {}) {
  auto quote = [](const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  };
  const auto out = home / "bwctl.out", err = home / "bwctl.err";
  std::string line = "env XDG_CONFIG_HOME=" + quote(home.string());
  for (const std::string& assignment : environment) line += " " + quote(assignment);
  line += " " + quote(BWCTL_BINARY);
  for (const std::string& argument : arguments) line += " " + quote(argument);
  line += " </dev/null >" + quote(out.string()) + " 2>" + quote(err.string());
  const int status = std::system(line.c_str());
  auto slurp = [](const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

}  // namespace bw::testing
