// The conversion chain as a script to read: administrators of real servers
// review what a tool will send before they let it change their data, and may
// run it themselves in a query tool, so every part is valid T-SQL.
#include "archives/ArchiveConversion.h"
#include "support/SqlText.h"

namespace bw {

namespace {

std::string Batch(const std::string& sql) {
  return sql + "\nGO\n";
}

// What SetExtendedValue sends for a value of entry 0, as one batch.
std::string ValueWrite(const std::string& fieldIdExpression, const std::string& value) {
  return "UPDATE ExtendedData SET FieldValue='" + SqlStringBody(value) +
         "' WHERE EntryID=0 And ExtFieldID=" + fieldIdExpression +
         "\nIF @@ROWCOUNT = 0 INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES "
         "(0, " +
         fieldIdExpression + ", '" + SqlStringBody(value) + "');";
}

std::string PropertyWrite(const std::string& name, const std::string& value) {
  const std::string field = "FieldName='" + SqlStringBody(name) + "' AND FieldType=1";
  return "-- The archive property '" + name + "' becomes " + value +
         " (its field is made when missing).\n"
         "DECLARE @ExtFieldID SMALLINT\n"
         "SELECT @ExtFieldID = ExtFieldID FROM ExtendedField WHERE " +
         field +
         "\nIF @ExtFieldID IS NULL BEGIN\n"
         "SELECT @ExtFieldID = Max(ExtFieldID)+1 FROM ExtendedField\n"
         "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName, Visible, UserProperty) "
         "VALUES (@ExtFieldID, 1, '" +
         SqlStringBody(name) +
         "', 0, 0)\nEND\nUPDATE ExtendedField SET Visible=0, UserProperty=0 " + "WHERE " + field +
         "\n" + ValueWrite("@ExtFieldID", value) + "\nGO\n";
}

}  // namespace

std::string ConversionScript(int versionNumber) {
  std::vector<ConversionBlock> blocks = ConversionBlocks(versionNumber);
  std::string script;
  bool tolerant = false;
  for (const ConversionBlock& block : blocks) {
    script += "\n-- Block ";
    script += block.letter;
    script += block.from.empty() ? ": an older version" : ": version " + block.from;
    script += " to " + block.to + "\n";
    for (const ConversionStep& step : block.steps) {
      if (step.kind == ConversionStepKind::ProgressOnly) continue;
      // Property and version writes never stop the chain; only statements
      // move between the stretches.
      if (step.kind == ConversionStepKind::Statement ||
          step.kind == ConversionStepKind::AddOrAlterColumn ||
          step.kind == ConversionStepKind::RepeatUntilStable) {
        if (step.tolerant && !tolerant) {
          script += "-- From here on, a failing statement is skipped.\n";
        } else if (!step.tolerant && tolerant) {
          script += "-- From here on, a failing statement stops the conversion.\n";
        }
        tolerant = step.tolerant;
      }
      switch (step.kind) {
        case ConversionStepKind::Statement:
          script += Batch(step.text);
          break;
        case ConversionStepKind::AddOrAlterColumn:
          script += Batch(step.text);
          script += "-- Only when that failed (when this fails too: \"" + step.message + "\"):\n";
          script += Batch(step.alternative);
          break;
        case ConversionStepKind::RepeatUntilStable:
          script += "-- Repeated until two runs in a row report the same number of rows:\n";
          script += Batch(step.text);
          break;
        case ConversionStepKind::Property:
          script += PropertyWrite(step.text, step.value);
          break;
        case ConversionStepKind::Version:
          script += "-- The archive's version becomes " + step.text + ".\n";
          script += Batch(ValueWrite("3", step.text));
          break;
        case ConversionStepKind::ProgressOnly:
          break;
      }
    }
  }
  return script;
}

}  // namespace bw
