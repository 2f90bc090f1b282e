#include "CliLookup.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "ExitCodes.h"
#include "Terminal.h"
#include "support/Helpers.h"

namespace bw::cli {

Server* FindServer(Servers& servers, const std::string& id, const char* area) {
  Server* server = servers.Item(id);
  if (server == nullptr) {
    std::fprintf(stderr, "bwctl %s: no registration with ServerID %s\n", area, id.c_str());
  } else if (!server->IsConnected() && !server->Connect()) {
    std::fprintf(stderr, "bwctl %s: ServerID %s is not connected%s%s\n", area, id.c_str(),
                 server->Description().empty() ? "" : ": ", server->Description().c_str());
    return nullptr;
  }
  return server;
}

Database* FindArchive(Databases& catalogue, const std::string& name, const char* area, int* code) {
  for (Database* archive : catalogue.NewEnum()) {
    if (LowerAscii(archive->Name()) == LowerAscii(name)) return archive;
  }
  if (code != nullptr) *code = kExitFailed;
  for (const UnopenedArchive& unopened : catalogue.Unopened()) {
    if (LowerAscii(unopened.name) != LowerAscii(name)) continue;
    std::fprintf(stderr, "bwctl %s: the archive %s cannot be opened: %s\n", area, name.c_str(),
                 TerminalText(unopened.reason).c_str());
    if (unopened.refused && code != nullptr) *code = kExitRefused;
    return nullptr;
  }
  std::fprintf(stderr, "bwctl %s: no archive named %s\n", area, name.c_str());
  return nullptr;
}

bool ReadPasswordFile(const std::string& file, std::string& password, const char* area) {
  std::string line;
  if (file == "-") {
    std::getline(std::cin, line);
  } else {
    std::ifstream in(file);
    if (!in) {
      std::fprintf(stderr, "bwctl %s: cannot read the password file %s\n", area, file.c_str());
      return false;
    }
    std::getline(in, line);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  password = line;
  return true;
}

bool AskNewPassword(std::string& password, std::string& confirmation, const char* area) {
  if (!ReadSecret("New password: ", password) || !ReadSecret("Confirm password: ", confirmation)) {
    std::fprintf(stderr,
                 "bwctl %s: no terminal to ask for the password; use --password-file FILE\n", area);
    return false;
  }
  return true;
}

}  // namespace bw::cli
