// Runs the bwctl binary as a process with its own configuration home, for
// tests of what an administrator sees: exit code, output, messages and how
// long it took. A guard kills a run that would never end.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace bw::testing {

struct BwctlResult {
  int code = -1;  // -1: killed by the guard
  std::string out, err;
  std::chrono::milliseconds elapsed{0};
};

// `arguments` is shell text (quote paths yourself); standard input is empty.
// XDG_CONFIG_HOME is `home`; `environment` ("NAME=value …") is prepended.
BwctlResult RunBwctl(const std::filesystem::path& home, const std::string& arguments,
                     int guardSeconds = 120, const std::string& environment = "");

}  // namespace bw::testing
