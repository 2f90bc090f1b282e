// The command-line clients users point at the stand-in: FreeTDS's tsql and
// unixODBC's isql with the FreeTDS driver. Each creates a table with every
// column type, reads values back, sees errors with their numbers and runs a
// batch with several result sets.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "StandinProcess.h"

namespace standin::integration {
namespace {

// Runs `command` with `input` on stdin; returns stdout and stderr together.
std::string RunWithInput(const std::string& command, const std::string& input,
                         const std::filesystem::path& scratch) {
  std::filesystem::path inputFile = scratch / "input.sql";
  std::ofstream(inputFile) << input;
  std::string full = command + " < '" + inputFile.string() + "' 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  ::pclose(pipe);
  return output;
}

const char* const kCreateTable =
    "CREATE TABLE Tools (id int IDENTITY(1,1) PRIMARY KEY, i int NULL, si smallint NULL, ti "
    "tinyint NULL, "
    "bi bigint NULL, b bit NULL, nv nvarchar(40) NULL, v varchar(40) NULL, nt ntext NULL, t text "
    "NULL, "
    "img image NULL, dt datetime NULL, g uniqueidentifier NULL, d decimal(10,2) NULL, f float "
    "NULL)";
const char* const kInsert =
    "INSERT INTO Tools (i, si, ti, bi, b, nv, v, nt, t, img, dt, g, d, f) VALUES (42, -7, 200, "
    "-9000000000, 0, N'Gr\xC3\xBC\xC3\x9F"
    "e', 'caf\xC3\xA9', N'lang', 'kurz', 0x0A0B0C, '2001-02-03 04:05:06.007', "
    "'6F9619FF-8B86-D011-B42D-00C04FC964FF', 123.45, 2.5)";

class ClientTools : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Server.Start();
    m_Scratch = m_Server.DataDir() / "client";
    std::filesystem::create_directories(m_Scratch);
    // tsql reads its settings from here; UTF-8 so the checks below are exact.
    std::ofstream(m_Scratch / "freetds.conf")
        << "[global]\n\ttds version = 7.4\n\tclient charset = UTF-8\n";
  }

  std::string Tsql(const std::string& input) {
    return RunWithInput("FREETDSCONF='" + (m_Scratch / "freetds.conf").string() +
                            "' tsql -H 127.0.0.1 -p " + std::to_string(m_Server.Port()) +
                            " -U sa -P " + StandinProcess::kSaPassword,
                        input, m_Scratch);
  }
  std::string Isql(const std::string& input) {
    return RunWithInput("isql -b -v -e -k -d'|' '" + m_Server.ConnectionString() + "'", input,
                        m_Scratch);
  }

  StandinProcess m_Server;
  std::filesystem::path m_Scratch;
};

void ExpectContains(const std::string& output, const std::string& part) {
  EXPECT_NE(output.find(part), std::string::npos) << "missing: " << part << "\n--- output:\n"
                                                  << output;
}

TEST_F(ClientTools, Tsql) {
  std::string output =
      Tsql(std::string(kCreateTable) + "\ngo\n" + kInsert +
           "\ngo\nSELECT i, si, ti, bi, b, nv, v, nt, t, img, dt, g, d, f FROM Tools\ngo\n"
           "SELECT * FROM Nowhere\ngo\n"
           "SELECT 1 AS one\nSELECT 2 AS two\ngo\nexit\n");
  ExpectContains(output, "(1 row affected)");
  ExpectContains(output,
                 "42\t-7\t200\t-9000000000\t0\tGr\xC3\xBC\xC3\x9F"
                 "e\tcaf\xC3\xA9\tlang\tkurz\t");
  ExpectContains(output, "6F9619FF-8B86-D011-B42D-00C04FC964FF\t123.45\t2.5");
  ExpectContains(output, "Msg 208 (severity 16, state 1)");
  ExpectContains(output, "Invalid object name 'Nowhere'.");
  ExpectContains(output, "one\n1\n");
  ExpectContains(output, "two\n2\n");
  EXPECT_EQ(output.find("Adaptive Server connection failed"), std::string::npos) << output;
}

// Where an error happened, as tsql prints it, and information that is no
// error: SQL Server sends severity 10 as class 0.
TEST_F(ClientTools, TsqlShowsTheProcedureAndLineOfAnError) {
  std::string output = Tsql(
      "CREATE PROCEDURE Broken\nAS\n\nSELECT *\nFROM Nowhere\ngo\nEXEC Broken\ngo\n"
      "USE tempdb\ngo\nRAISERROR('only information', 10, 1)\ngo\nexit\n");
  ExpectContains(output, "Msg 208 (severity 16, state 1)");
  ExpectContains(output, "Procedure Broken Line 4");
  EXPECT_EQ(output.find("severity 10"), std::string::npos) << output;
}

// isql without -e prepares every statement (sp_prepexec through the driver).
TEST_F(ClientTools, IsqlPreparingEveryStatement) {
  std::string output = RunWithInput(
      "isql -b -v -k -d'|' '" + m_Server.ConnectionString() + "'",
      "CREATE TABLE Plain (n int, word varchar(10))\nINSERT INTO Plain VALUES (7, 'seven')\n"
      "SELECT n, word FROM Plain\nSELECT * FROM Nowhere\n",
      m_Scratch);
  ExpectContains(output, "7|seven");
  ExpectContains(output, "Invalid object name 'Nowhere'.");
  EXPECT_EQ(output.find("does not support"), std::string::npos) << output;
}

TEST_F(ClientTools, TsqlRequiringEncryptionIsRefusedWithAReasonInTheLog) {
  std::ofstream(m_Scratch / "freetds.conf")
      << "[global]\n\ttds version = 7.4\n\tencryption = require\n";
  std::string output = Tsql("SELECT 1\ngo\nexit\n");
  ExpectContains(output, "connection failed");
  // The client drops the connection itself; the reason must still be logged.
  for (int i = 0; i < 50 && m_Server.Log().find("asked for encryption") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ExpectContains(m_Server.Log(), "asked for encryption, which sqlstandin does not support");
}

TEST_F(ClientTools, Isql) {
  std::string output = Isql(std::string(kCreateTable) + "\n" + kInsert +
                            "\nSELECT i, si, ti, bi, b, nv, v, nt, t, dt, g, d FROM Tools\n"
                            "SELECT * FROM Nowhere\n"
                            "INSERT INTO Tools (id) VALUES (5)\n");
  ExpectContains(output,
                 "42|-7|200|-9000000000|0|Gr\xC3\xBC\xC3\x9F"
                 "e|caf\xC3\xA9|lang|kurz|2001-02-03 04:05:06.007|"
                 "6F9619FF-8B86-D011-B42D-00C04FC964FF|123.45");
  ExpectContains(output, "Invalid object name 'Nowhere'.");
  ExpectContains(output, "Cannot insert explicit value for identity column");
  EXPECT_EQ(output.find("Could not SQLDriverConnect"), std::string::npos) << output;
}

}  // namespace
}  // namespace standin::integration
