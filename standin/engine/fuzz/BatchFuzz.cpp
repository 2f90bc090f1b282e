// libFuzzer target: any bytes as a batch run by a session of a real engine
// (translator, SQLite functions, executor). Errors go to the sink; only a
// crash, a sanitizer report or an escaping exception is a finding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/Engine.h"

namespace {

class NullSink : public standin::engine::BatchSink {
 public:
  void Columns(const std::vector<standin::engine::Column>&) override {}
  void Row(const std::vector<standin::engine::Value>&) override {}
  void Info(const standin::engine::Message&) override {}
  void Error(const standin::engine::Message&) override {}
  void EnvironmentChanged(const standin::engine::EnvChange&) override {}
  void ReturnStatus(std::int32_t) override {}
  void ReturnValue(const standin::engine::Parameter&, std::uint16_t) override {}
  void StatementDone(const standin::engine::Done&) override {}
};

standin::engine::Engine& SharedEngine() {
  static std::unique_ptr<standin::engine::Engine> engine = [] {
    standin::engine::EngineOptions options;
    options.dataDir = (std::filesystem::temp_directory_path() /
                       ("sqlstandin-batch-fuzz-" + std::to_string(getpid())))
                          .string();
    options.saPassword = "Fuzz#Password1";
    return standin::engine::Engine::Open(options);
  }();
  return *engine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  standin::engine::LoginRequest request;
  request.userName = "sa";
  request.password = "Fuzz#Password1";
  std::unique_ptr<standin::engine::Session> session = SharedEngine().Login(request);
  NullSink sink;
  session->ExecuteBatch(std::string_view(reinterpret_cast<const char*>(data), size), sink);
  return 0;
}
