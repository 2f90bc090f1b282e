// Creating and dropping one archive on a started sqlstandin through the
// product's own catalogue: the whole schema, the template document and the
// drop. Target: a median below one second. Run by hand, never by CTest.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "StandinProcess.h"
#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "servers/Servers.h"
#include "support/MessageService.h"

namespace {

void CreateAndDropArchive(benchmark::State& state) {
  standin::integration::StandinProcess standin;
  standin.Start();
  const auto home =
      std::filesystem::temp_directory_path() / ("bw-archive-bench-" + std::to_string(::getpid()));
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  bw::ScriptedMessageService messages;
  bw::SetMessageService(&messages);
  {
    bw::Servers servers;
    std::string text = "Provider=SQLOLEDB;" +
                       bw::OleDbPair("Data Source", "127.0.0.1," + std::to_string(standin.Port())) +
                       bw::OleDbPair("User Id", "sa") +
                       bw::OleDbPair("Password", standin::integration::StandinProcess::kSaPassword);
    bw::Server* server = servers.Add(text);
    if (server == nullptr) {
      state.SkipWithError("the stand-in did not connect");
    } else {
      bw::Databases& catalogue = server->Databases();
      for (auto _ : state) {
        bw::Database* archive = catalogue.AddNew(
            "Bench", "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Bench.mdf");
        if (archive == nullptr) {
          state.SkipWithError(messages.History().empty() ? "the archive was not created"
                                                         : messages.History().back().text.c_str());
          break;
        }
        if (!catalogue.Delete(std::to_string(archive->ArchiveID()))) {
          state.SkipWithError("the archive was not dropped");
          break;
        }
      }
    }
  }
  bw::SetMessageService(nullptr);
  std::filesystem::remove_all(home);
}
BENCHMARK(CreateAndDropArchive)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
