#include "archives/PlainTextRun.h"

#include <cfenv>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "archives/Database.h"
#include "archives/WebArchiveExport.h"
#include "data/DataAccess.h"
#include "support/CodePage.h"
#include "support/Log.h"
#include "support/MessageService.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"
#include "text/ParallelText.h"

namespace bw {
namespace {

constexpr int kStrGenerationOf = 317;
constexpr int kStrPleaseWait = 318;
constexpr char kCountSql[] = "SELECT Count(EntryID) AS MaxDoc FROM Document WHERE BinaryData=0";
constexpr char kBatchSql[] =
    "SELECT Top 250 Document.* FROM Document WHERE BinaryData=0 ORDER BY EntryID";

void ShowRecordError(const Error& error) {
  MsgBox("Beim Laden/Aktualisieren der Datensätze ist folgender Fehler aufgetreten:\r" +
         error.Description() + "\rFehlernummer: " + std::to_string(error.Number()));
}

enum class Answer { Abort, Retry, Ignore };

Answer AskAboutDocument(const std::string& url, const Error& error) {
  if (error.Number() == kErrComponentMissing) {
    MsgBox("Please install Windows Script 5.6 or Internet Explorer 6.0");
    return Answer::Abort;
  }
  MsgResult answer = MsgBox(
      "Beim der Generierung von Volltextinformation ist bei folgendem Dokument ein Fehler "
      "aufgetreten:\rURL: " +
          url + "\rFehlertext: " + error.Description() +
          "\rFehlernummer: " + std::to_string(error.Number()),
      MsgStyle::AbortRetryIgnore);
  if (answer == MsgResult::Retry) return Answer::Retry;
  if (answer == MsgResult::Ignore) return Answer::Ignore;
  return Answer::Abort;
}

// The content in the document's code page with its terminating zero byte.
// A code page this system cannot write keeps the content as UTF-8 (and says
// so in CodePage) rather than losing it.
std::vector<std::uint8_t> ContentBytes(const std::string& content, int& codePage) {
  std::vector<std::uint8_t> bytes = TextToCodePageBytes(content, EffectiveCodePage(codePage));
  if (bytes.empty()) {
    Log("plaintext", "code page " + std::to_string(codePage) + " unknown: content kept as UTF-8");
    codePage = 65001;
    bytes = TextToCodePageBytes(content, codePage);
  }
  return bytes;
}

// The bar's value: counter ÷ step, rounded as the bar's integer property
// rounds (half to even).
int BarValue(long counter, double step) {
  return static_cast<int>(std::nearbyint(static_cast<double>(counter) / step));
}

}  // namespace

PlainTextRun::PlainTextRun(Database& archive, Progress& progress)
    : m_Archive(archive), m_Progress(progress) {}

bool PlainTextRun::Run() {
  m_Progress.SetTask(FormatPlaceholders(LoadResString(kStrGenerationOf), {m_Archive.Name()}));
  m_Progress.SetDescription(LoadResString(kStrPleaseWait));
  m_Progress.SetMaximum(100);
  m_Progress.Pump();
  try {
    Recordset count;
    count.SetCursorLocation(adUseClient);
    count.Open(kCountSql, &m_Archive.GetConnection(), adOpenForwardOnly, adLockReadOnly);
    m_Total = count.Eof() ? 0 : static_cast<long>(count.Value("MaxDoc").ToInteger());
    count.Close();
    if (m_Total >= 1) {
      if (m_Total > 100) {
        m_Step = static_cast<double>(m_Total) / 100.0;
      } else {
        m_Progress.SetMaximum(static_cast<int>(m_Total));
        m_Step = 1;
      }
      bool more = true;
      while (more) {
        if (!ProcessBatch(more)) return false;
      }
    }
  } catch (const Error& error) {
    ShowRecordError(error);
    return false;
  }
  std::int32_t fieldId = 0;
  m_Archive.SetExtendedValue("True", 0, fieldId, kSearchInPlainText, 1, false, false);
  return true;
}

std::vector<std::optional<ConvertedText>> PlainTextRun::ConvertAhead(Recordset& rs) {
  struct Job {
    std::int32_t entryID;
    std::string content;
    std::int32_t type;
    std::string fileName;
  };
  std::vector<Job> jobs;
  for (; !rs.Eof(); rs.MoveNext()) {
    Job job{static_cast<std::int32_t>(rs.Value("EntryID").ToInteger()), std::string(),
            static_cast<std::int32_t>(rs.Value("TypeID").ToInteger()),
            rs.Value("Filename").ToText()};
    // Documents that read sub-documents from the archive stay on this
    // thread with the connection; they get an empty job and are converted
    // in the loop.
    if (!rs.Value("BinaryData").ToBoolean() &&
        Database::PlainTextFromContentAlone(job.type, job.fileName)) {
      job.content = rs.Value("Content").ToText();
    }
    jobs.push_back(std::move(job));
  }
  if (!jobs.empty()) rs.MoveFirst();
  std::vector<ConvertedText> done = ConvertInParallel(jobs.size(), [&](std::size_t i) {
    const Job& job = jobs[i];
    if (job.content.empty()) return std::string();
    return m_Archive.CreatePlainText(job.entryID, job.content, job.type, job.fileName);
  });
  std::vector<std::optional<ConvertedText>> converted(jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (!jobs[i].content.empty()) converted[i] = std::move(done[i]);
  }
  return converted;
}

bool PlainTextRun::ProcessBatch(bool& more) {
  Recordset rs;
  rs.SetCursorLocation(adUseClient);
  rs.Open(kBatchSql, &m_Archive.GetConnection(), adOpenStatic, adLockOptimistic);
  more = !rs.Eof();
  std::vector<std::optional<ConvertedText>> converted = ConvertAhead(rs);
  for (std::size_t row = 0; !rs.Eof(); rs.MoveNext(), ++row) {
    ++m_Counter;
    m_Progress.SetValue(BarValue(m_Counter, m_Step));
    const std::string content = rs.Value("Content").ToText();
    if (!rs.Value("BinaryData").ToBoolean() && !content.empty()) {
      const auto entryID = static_cast<std::int32_t>(rs.Value("EntryID").ToInteger());
      const std::string url = rs.Value("Url").ToText();
      while (true) {
        try {
          int codePage = static_cast<int>(rs.Value("CodePage").ToInteger());
          int storedCodePage = codePage;
          std::vector<std::uint8_t> bytes = ContentBytes(content, codePage);
          rs.SetValue("BinaryContent", Variant(std::move(bytes)));
          if (codePage != storedCodePage) rs.SetValue("CodePage", Variant(codePage));
          std::string text;
          if (row < converted.size() && converted[row]) {
            // Used once: a retry converts the document again here.
            ConvertedText ready = std::move(*converted[row]);
            converted[row].reset();
            if (ready.error) std::rethrow_exception(ready.error);
            text = std::move(ready.text);
          } else {
            text = m_Archive.CreatePlainText(
                entryID, content, static_cast<std::int32_t>(rs.Value("TypeID").ToInteger()),
                rs.Value("Filename").ToText());
          }
          rs.SetValue("PlainText", Variant(std::move(text)));
          break;
        } catch (const Error& error) {
          Answer answer = AskAboutDocument(url, error);
          if (answer == Answer::Abort) return false;
          if (answer == Answer::Ignore) break;
        }
      }
    }
    m_Progress.SetDescription(std::to_string(m_Counter) + " of " + std::to_string(m_Total) +
                              " items processed");
    rs.SetValue("Content", Variant(std::string()));
    rs.SetValue("BinaryData", Variant(true));
    rs.Update();
    m_Progress.Pump();
  }
  rs.Close();
  return true;
}

}  // namespace bw
