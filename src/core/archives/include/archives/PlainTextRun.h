// Generates the text full-text search needs for every document of an archive
// that still keeps its content as text (BinaryData 0): the content moves to
// BinaryContent in the document's code page, its plain text goes to
// PlainText, and at the end the archive is marked "Search in PlainText".
//
// Documents are processed in batches of 250 in EntryID order; each is saved
// as soon as it is done, so a run that stops leaves the finished documents
// converted and a later run goes on with the rest. Failures are shown
// through the message service. The HTML of a batch is converted on several
// threads before the batch is walked; the database, the progress and the
// questions stay on the caller's thread, in document order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archives/Progress.h"
#include "text/ParallelText.h"

namespace bw {

class Database;
class Recordset;

// The property the end of a run sets.
inline constexpr char kSearchInPlainText[] = "Brindlewick: Search in PlainText";
// The derivation failed because a component is missing (reported apart).
inline constexpr std::int32_t kErrComponentMissing = 430;

class PlainTextRun {
 public:
  PlainTextRun(Database& archive, Progress& progress);

  // Runs over the archive (which must be connected). True when every
  // document was processed and the property set; false when the
  // administrator aborted or records could not be loaded or saved (the
  // message has been shown).
  bool Run();

  // The documents processed by this run.
  long Processed() const { return m_Counter; }

 private:
  bool ProcessBatch(bool& more);
  // The texts of the batch's documents that need nothing but their own
  // content, by row; the recordset is back at its first row afterwards.
  std::vector<std::optional<ConvertedText>> ConvertAhead(Recordset& rs);

  Database& m_Archive;
  Progress& m_Progress;
  long m_Total = 0;
  long m_Counter = 0;
  double m_Step = 1;
};

}  // namespace bw
