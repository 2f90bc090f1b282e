// Text conversion between the program's UTF-8 strings and Windows code pages,
// addressed by their Windows numbers (1252, 932, 65001, …) and carried out by
// iconv. Decoding follows Windows where glibc's tables differ (the five bytes
// CP1252 leaves undefined). Encoding puts "?" for characters a code page
// cannot hold; Windows' "best fit" look-alike substitutions are not made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bw {

// The ANSI code page (the AnsiCodePage setting, 1252 unless set).
int GetAnsiCodePage();

// The iconv name of a supported Windows code page, or nullptr.
const char* IconvNameForCodePage(int codePage);

// The text converted to `codePage`, followed by one NUL byte. Empty when the
// code page is not supported. `flags` is accepted for callers that pass one;
// no flag changes the result.
std::vector<std::uint8_t> TextToCodePageBytes(const std::string& text, int codePage, int flags = 0);

// The bytes up to the first NUL, decoded from `codePage` (-1: the ANSI code
// page). Empty when the code page is not supported. Undecodable bytes become
// U+FFFD.
std::string CodePageBytesToText(const std::string& bytes, int codePage, int flags = 0);

// Writes `text` converted to `codePage` (without the NUL) to `path`,
// replacing the file as a whole: readers never see half a file, and a failed
// write leaves an existing file as it was. An empty text writes nothing.
// Returns false, creating nothing, when the code page is not supported or
// the file cannot be written; true when the file was written.
bool WriteTextFileInCodePage(const std::string& path, const std::string& text, int codePage);

}  // namespace bw
