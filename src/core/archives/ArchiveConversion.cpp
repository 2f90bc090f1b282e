#include "archives/ArchiveConversion.h"

#include <cctype>

#include "archives/Database.h"
#include "data/DataAccess.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/MessageService.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw {

namespace {

// SQL Server's answers that mean the statement's effect is there already.
constexpr std::int32_t kColumnExists = 2705;
constexpr std::int32_t kObjectExists = 2714;
constexpr std::int32_t kObjectMissing = 3701;

bool StartsWithWords(const std::string& text, const std::string& words) {
  return LowerAscii(text.substr(0, words.size())) == words;
}

// True when `error` from `statement` says that what the statement makes is
// already in place: a block that stopped half-way has done it before.
bool AlreadyInPlace(const std::string& statement, const Error& error) {
  const auto* data = dynamic_cast<const DataError*>(&error);
  if (data == nullptr) return false;
  const std::int32_t number = data->ServerNumber();
  const std::string head = TrimBlanks(statement);
  if (StartsWithWords(head, "alter table ")) {
    return number == kColumnExists && LowerAscii(head).find(" add ") != std::string::npos;
  }
  if (StartsWithWords(head, "create procedure ") || StartsWithWords(head, "create view ")) {
    return number == kObjectExists;
  }
  if (StartsWithWords(head, "drop ")) return number == kObjectMissing;
  return false;
}

class ChainRunner {
 public:
  ChainRunner(Database& archive, Progress& progress) : m_Archive(archive), m_Progress(progress) {
    m_Command.SetCommandType(adCmdText);
    m_Command.SetCommandTimeout(0);
    m_Command.SetActiveConnection(&archive.GetConnection());
  }

  ConversionResult Run(const std::vector<ConversionBlock>& blocks) {
    for (const ConversionBlock& block : blocks) {
      m_Block = &block;
      for (const ConversionStep& step : block.steps) {
        if (!RunStep(step)) return std::move(m_Result);
        if (step.progress >= 0) m_Progress.SetValue(step.progress);
        m_Progress.Pump();
      }
      ++m_Result.blocksRun;
    }
    m_Result.completed = true;
    return std::move(m_Result);
  }

 private:
  long Execute(const std::string& sql) {
    m_Command.SetCommandText(sql);
    return m_Command.Execute();
  }

  void Skip(const std::string& sql, const Error& error) {
    Log("conversion", std::string("block ") + m_Block->letter + ": skipped after " +
                          error.Description() + ": " + sql);
    m_Result.skipped.push_back({m_Block->letter, sql, error.Description()});
  }

  bool Fail(const std::string& sql, const Error& error) {
    m_Result.failedBlock = m_Block->letter;
    m_Result.failedStatement = sql;
    m_Result.error = error;
    return false;
  }

  // One statement; false when the chain stops here.
  bool Statement(const std::string& sql, bool tolerant) {
    try {
      Execute(sql);
      return true;
    } catch (const Error& error) {
      if (!tolerant && !AlreadyInPlace(sql, error)) return Fail(sql, error);
      Skip(sql, error);
      return true;
    }
  }

  bool RunStep(const ConversionStep& step) {
    switch (step.kind) {
      case ConversionStepKind::Statement:
        return Statement(step.text, step.tolerant);
      case ConversionStepKind::AddOrAlterColumn:
        try {
          Execute(step.text);
        } catch (const Error&) {
          try {
            Execute(step.alternative);
          } catch (const Error& error) {
            Skip(step.alternative, error);
            MsgBox(step.message, MsgStyle::OkOnly, kComponentTitle);
          }
        }
        return true;
      case ConversionStepKind::RepeatUntilStable:
        return Repeat(step.text);
      case ConversionStepKind::Property: {
        std::int32_t fieldId = 0;
        m_Archive.SetExtendedValue(step.value, 0, fieldId, step.text, 1, false, false);
        return true;
      }
      case ConversionStepKind::Version: {
        std::int32_t fieldId = 3;
        m_Archive.SetExtendedValue(step.text, 0, fieldId, "", 1, false, false);
        m_Result.version = step.text;
        return true;
      }
      case ConversionStepKind::ProgressOnly:
        return true;
    }
    return true;
  }

  // Each run moves one more level of sub-documents; the counts never grow,
  // so two equal counts in a row come. At least two runs, so a first run
  // that moved nothing is confirmed by a second.
  bool Repeat(const std::string& sql) {
    long previous = 0;
    for (int run = 1;; ++run) {
      long count = 0;
      try {
        count = Execute(sql);
      } catch (const Error& error) {
        return Fail(sql, error);
      }
      if (run >= 2 && count == previous) return true;
      previous = count;
      m_Progress.Pump();
    }
  }

  Database& m_Archive;
  Progress& m_Progress;
  Command m_Command;
  const ConversionBlock* m_Block = nullptr;
  ConversionResult m_Result;
};

std::string BlockName(const ConversionBlock& block) {
  return std::string("block ") + block.letter + " (" +
         (block.from.empty() ? std::string("before ") + block.to : block.from + " to " + block.to) +
         ")";
}

}  // namespace

std::optional<int> ArchiveVersionNumber(const std::string& text) {
  std::string digits;
  for (char c : TrimBlanks(text)) {
    if (c == '.') continue;
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += c;
  }
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  return std::stoi(digits);
}

ConversionResult ConvertArchive(Database& archive, int versionNumber, Progress& progress) {
  progress.SetTask(FormatResString(347, {Variant(archive.Name())}));
  progress.SetDescription(LoadResString(318));
  progress.SetMaximum(100);
  progress.SetValue(0);
  progress.Pump();
  ChainRunner runner(archive, progress);
  ConversionResult result = runner.Run(ConversionBlocks(versionNumber));
  if (!result.completed) {
    // The version the archive really keeps: writing it is allowed to fail.
    std::string kept = archive.GetExtendedValue(0, 3, 1, "");
    if (!kept.empty()) result.version = kept;
  }
  return result;
}

std::string ConversionFailureReport(const std::string& archiveName,
                                    const ConversionResult& result) {
  std::string where = std::string("block ") + result.failedBlock;
  for (const ConversionBlock& block : ConversionBlocks(0)) {
    if (block.letter == result.failedBlock) where = BlockName(block);
  }
  std::string text = "The archive '" + archiveName + "' could not be converted: " + where +
                     " stopped at the statement\n" + result.failedStatement + "\n";
  text += result.version.empty() ? std::string("The archive keeps its version.")
                                 : "The archive keeps version " + result.version + ".";
  text += "\r";
  text += result.error ? result.error->Description() : std::string("unknown error");
  return text;
}

}  // namespace bw
