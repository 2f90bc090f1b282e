// Brings an archive of an older database version to the current one. The
// conversion is a chain of blocks, each taking the archive from one version
// to the next and ending by writing the version it reached; the version an
// archive has selects the first block, and every later one follows. A chain
// that stops therefore leaves the version of the last completed block, and the
// next run starts again with the interrupted block.
//
// One thread: the caller's. The statements run without a time limit on the
// archive's own connection; Progress::Pump is called between two steps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archives/Progress.h"
#include "support/Error.h"

namespace bw {

class Database;

// The version a new archive has, as a whole number ("1.61").
inline constexpr int kCurrentArchiveVersion = 161;

// The version text as a whole number, its dots removed: "1.61" is 161, "149"
// is 149. Nothing for a text that is no whole number then (empty, letters,
// more than nine digits).
std::optional<int> ArchiveVersionNumber(const std::string& text);

enum class ConversionStepKind {
  Statement,          // one statement
  AddOrAlterColumn,   // add a column, else alter it, else show `message`
  RepeatUntilStable,  // run until two runs in a row report the same row count
  Property,           // archive property `text` (by name, field type 1) := `value`
  Version,            // the archive's version := `text`
  ProgressOnly,       // only moves the progress bar
};

struct ConversionStep {
  ConversionStepKind kind = ConversionStepKind::Statement;
  std::string text;
  std::string value;
  std::string alternative;  // AddOrAlterColumn: the statement tried second
  std::string message;      // AddOrAlterColumn: shown when both failed
  bool tolerant = false;    // a failure is skipped and the chain goes on
  int progress = -1;        // the progress bar's value after the step; -1 leaves it
};

struct ConversionBlock {
  char letter = 0;
  std::string from;  // the lowest version it starts from ("" for the oldest)
  std::string to;    // the version it writes at its end
  std::vector<ConversionStep> steps;
};

// Index (0 = A … 8 = I) of the block a conversion from `versionNumber` starts
// with; -1 when none applies (142-149, 151, 152, 157-159, 161 and above).
int FirstConversionBlock(int versionNumber);
// The blocks a conversion from `versionNumber` runs, in order (none for a
// version without a first block).
std::vector<ConversionBlock> ConversionBlocks(int versionNumber);

// The T-SQL a conversion from `versionNumber` sends, block by block, for an
// administrator to review before anything is changed: every statement
// followed by GO, the property writes as the statements that make them, and
// comments where errors are skipped, a statement repeats or a second one
// stands in for the first. Empty when no block applies.
std::string ConversionScript(int versionNumber);

// A statement whose failure did not stop the chain.
struct SkippedStatement {
  char block = 0;
  std::string statement;
  std::string error;
};

struct ConversionResult {
  // No block failed (also true when none applied).
  bool completed = false;
  int blocksRun = 0;
  // The version the chain wrote last ("" when it wrote none).
  std::string version;
  // Where it stopped: the block, the statement and its error.
  char failedBlock = 0;
  std::string failedStatement;
  std::optional<Error> error;
  std::vector<SkippedStatement> skipped;
};

// Runs the chain from `versionNumber` on the archive's connection (which must
// be open), reporting on `progress`: the task line (347 with the archive's
// name), "Please wait…", maximum 100, the values the blocks give. A failing
// statement outside the error-tolerant stretches ends the chain and comes back
// in the result, nothing is raised for it. A statement whose error shows that
// its effect is already in place (adding a column that exists, creating an
// object that exists, dropping one that does not) counts as done, so a
// block interrupted half-way can run again from its start.
ConversionResult ConvertArchive(Database& archive, int versionNumber, Progress& progress);

// The report of a chain that stopped: the archive, the block with its
// versions, the version kept, a carriage return, the failing statement's error.
std::string ConversionFailureReport(const std::string& archiveName, const ConversionResult& result);

}  // namespace bw
