// Writes a stored web archive — a main document with its sub-documents, kept
// as rows of one archive — to files in an export folder, so that its main
// file can be rendered offline with the sub-documents found beside it.
//
// Every file lands inside the export folder: stored names become single
// file names, and a sub-document that is reached twice (a cycle in the
// stored links) is written once. Database errors are raised (DataError).
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

namespace bw {

class Connection;

struct ExportedMain {
  std::filesystem::path path;  // empty when the document does not exist
  int codePage = 0;            // of the text in the main file
};

class WebArchiveExport {
 public:
  // `folder` is created (an existing one is emptied first) and holds
  // everything the export writes.
  WebArchiveExport(Connection& connection, std::int32_t archiveID, std::filesystem::path folder);

  // Exports `entryID` and what it links to; returns its main file.
  ExportedMain Export(std::int32_t entryID);

  // The local name of a stored file: EntryID + "_bwDoc_" + the stored name,
  // converted to the ANSI code page when the document's code page differs
  // and the name does not fit that one. Never a path: separators, control
  // characters and the characters Windows forbids in a name become "_".
  static std::string LocalFileName(std::int32_t entryID, const std::string& fileName,
                                   int documentCodePage);

  // The marker that tells a renderer which archive entry a page came from.
  static std::string Marker(std::int32_t archiveID, std::int32_t entryID);

 private:
  ExportedMain ExportDocument(std::int32_t entryID, bool nested, int depth);

  Connection& m_Connection;
  std::int32_t m_ArchiveID;
  std::filesystem::path m_Folder;
  bool m_FolderReady = false;
  std::set<std::int32_t> m_Exported;
};

// Writes `length` bytes to `fileName`, replacing the file. Does nothing when
// `length` is 0 or the file cannot be written (logged, not raised).
void WriteFileAPI_A(const std::filesystem::path& fileName, const std::uint8_t* bytes,
                    std::size_t length);

// The code page text is written in: 0 (the system default) means the ANSI
// code page.
int EffectiveCodePage(int codePage);

}  // namespace bw
