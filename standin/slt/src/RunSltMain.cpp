// standin_slt_run FILE…: runs SQL-logic files in process, each against a
// fresh data directory. Exit status 0 when every record passed.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <random>

#include "slt/InProcessBackend.h"
#include "slt/Slt.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: standin_slt_run FILE.slt...\n";
    return 2;
  }
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    std::random_device random;
    const std::filesystem::path dataDir =
        std::filesystem::temp_directory_path() /
        ("sqlstandin-slt-" + std::to_string(getpid()) + "-" + std::to_string(random()));
    const std::string password = "Slt#Password1";
    {
      standin::engine::EngineOptions options;
      options.dataDir = dataDir.string();
      options.saPassword = password;
      options.serverName = "SLTSERVER";
      try {
        options.productVersion = standin::slt::FileProductVersion(argv[i]);
        standin::slt::AddFileAccounts(argv[i], dataDir);
      } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        ++failures;
        continue;
      }
      std::unique_ptr<standin::engine::Engine> engine = standin::engine::Engine::Open(options);
      {
        standin::slt::InProcessBackend backend(*engine, password);
        failures += standin::slt::RunFile(argv[i], backend, std::cerr);
      }
      engine->Shutdown();
    }
    std::filesystem::remove_all(dataDir);
  }
  if (failures) std::cerr << failures << " failure(s)\n";
  return failures == 0 ? 0 : 1;
}
