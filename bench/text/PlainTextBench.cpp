// Plain-text generation of 10,000 HTML documents on a started sqlstandin:
// the whole run (batches, conversion to the code page, text, update) through
// the product's archive object. Prints documents per second.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "StandinProcess.h"
#include "archives/Databases.h"
#include "archives/PlainTextRun.h"
#include "data/ConnectionString.h"
#include "servers/Servers.h"
#include "support/MessageService.h"

int main(int argc, char** argv) {
  const int documents = argc > 1 ? std::atoi(argv[1]) : 10000;
  standin::integration::StandinProcess standin;
  standin.Start();
  const auto home =
      std::filesystem::temp_directory_path() / ("bw-plaintext-bench-" + std::to_string(::getpid()));
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  bw::ScriptedMessageService messages;
  bw::SetMessageService(&messages);
  int code = 1;
  {
    bw::Servers servers;
    std::string text = "Provider=SQLOLEDB;" +
                       bw::OleDbPair("Data Source", "127.0.0.1," + std::to_string(standin.Port())) +
                       bw::OleDbPair("User Id", "sa") +
                       bw::OleDbPair("Password", standin::integration::StandinProcess::kSaPassword);
    bw::Server* server = servers.Add(text);
    bw::Database* archive =
        server == nullptr
            ? nullptr
            : server->Databases().AddNew(
                  "Bench", "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Bench.mdf");
    if (archive == nullptr) {
      std::fprintf(stderr, "no archive on the stand-in\n");
    } else {
      for (int first = 0; first < documents; first += 500) {
        std::string values;
        for (int i = first; i < std::min(documents, first + 500); ++i) {
          values += std::string(i == first ? "" : ",") +
                    "(N'<html><head><title>Letter</title></head><body><h1>Letter " +
                    std::to_string(i) +
                    "</h1><p>Dear customer, thank you for your order of <b>12 items</b>.</p>"
                    "<table><tr><td>Item</td><td>Price</td></tr><tr><td>Lamp</td><td>12.50</td>"
                    "</tr></table><p>Kind regards</p></body></html>', 100, 1252, '2003-01-01', "
                    "'2003-01-01')";
        }
        archive->GetConnection().Execute(
            "INSERT INTO Document (Content, TypeID, CodePage, CreationTime, FileModifiedDate) "
            "VALUES " +
            values);
      }
      bw::NoProgress progress;
      auto started = std::chrono::steady_clock::now();
      bw::PlainTextRun run(*archive, progress);
      bool done = run.Run();
      double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::printf("%ld documents in %.2f s: %.0f documents/s%s\n", run.Processed(), seconds,
                  static_cast<double>(run.Processed()) / seconds, done ? "" : " (run failed)");
      messages.QueueAnswer(bw::MsgResult::Yes);
      server->Databases().Delete(std::to_string(archive->ArchiveID()));
      code = done ? 0 : 1;
    }
  }
  bw::SetMessageService(nullptr);
  std::filesystem::remove_all(home);
  return code;
}
