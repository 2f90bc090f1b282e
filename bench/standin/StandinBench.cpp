// Throughput of a started sqlstandin over one FreeTDS ODBC connection on
// loopback: round trips of `SELECT 1`, and rows per second of a
// 100,000-row SELECT.
#include <benchmark/benchmark.h>

#include <memory>

#include "Odbc.h"
#include "StandinProcess.h"

namespace {

using standin::integration::OdbcConnection;
using standin::integration::StandinProcess;

struct Fixture {
  StandinProcess server;
  OdbcConnection connection;
  SQLHSTMT statement = SQL_NULL_HSTMT;

  Fixture() {
    server.Start();
    if (!connection.Connect(server.ConnectionString()))
      throw std::runtime_error("cannot connect:\n" + server.Log());
    // 2^17 rows by doubling, then the benchmark reads the first 100,000.
    connection.Execute(
        "SET NOCOUNT ON\nCREATE TABLE R (id int IDENTITY(1,1) PRIMARY KEY, n int NOT NULL, "
        "name nvarchar(30) NULL)\nINSERT INTO R (n, name) VALUES (1, N'row name')");
    for (int i = 0; i < 17; ++i)
      connection.Execute("INSERT INTO R (n, name) SELECT n + 1, name FROM R");
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void SelectOneRoundTrips(benchmark::State& state) {
  Fixture& fixture = Shared();
  for (auto _ : state) {
    auto outcome = fixture.connection.Execute("SELECT 1");
    if (outcome.resultSets.size() != 1) state.SkipWithError("SELECT 1 failed");
  }
  state.counters["round_trips_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(SelectOneRoundTrips)->UseRealTime()->MinTime(3.0);

void SelectHundredThousandRows(benchmark::State& state) {
  Fixture& fixture = Shared();
  std::int64_t rows = 0;
  for (auto _ : state) {
    auto outcome = fixture.connection.Execute("SELECT TOP 100000 id, n, name FROM R");
    if (outcome.resultSets.size() != 1 || outcome.resultSets[0].rows.size() != 100000) {
      state.SkipWithError("the SELECT did not return 100,000 rows");
      break;
    }
    rows += 100000;
  }
  state.counters["rows_per_second"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
}
BENCHMARK(SelectHundredThousandRows)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
