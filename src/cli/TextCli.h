// "bwctl text …": what the text engine extracts from files, so that
// administrators can check what full-text search will see.
#pragma once

#include <string>
#include <vector>

namespace bw::cli {

int RunTextCommand(const std::vector<std::string>& args);
extern const char kTextHelp[];

}  // namespace bw::cli
