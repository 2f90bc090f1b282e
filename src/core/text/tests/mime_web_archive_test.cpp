#include <gtest/gtest.h>

#include <string>

#include "support/Error.h"
#include "text/MimeWebArchive.h"
#include "text/VisibleText.h"

namespace bw {
namespace {

std::string Message(const std::string& contentType, const std::string& body) {
  return "From: <Saved by a browser>\r\nSubject: page\r\nMIME-Version: 1.0\r\nContent-Type: " +
         contentType + "\r\n\r\n" + body;
}

std::string Part(const std::string& headers, const std::string& body) {
  return "--B\r\n" + headers + "\r\n\r\n" + body + "\r\n";
}

struct Row {
  const char* name;
  std::string mime;
  const char* text;  // the page's visible text
  bool isHtml;
};

class MimeWebArchiveRows : public ::testing::TestWithParam<Row> {};

TEST_P(MimeWebArchiveRows, FindsAndDecodesThePage) {
  MimeMainPart page = ReadMimeWebArchive(GetParam().mime);
  EXPECT_EQ(page.isHtml, GetParam().isHtml);
  EXPECT_EQ(page.isHtml ? ExtractVisibleText(page.text).text : page.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Parts, MimeWebArchiveRows,
    ::testing::Values(
        Row{"QuotedPrintableWindows1252",
            Message("multipart/related; boundary=\"B\"; type=\"text/html\"",
                    Part("Content-Type: text/html; charset=\"windows-1252\"\r\n"
                         "Content-Transfer-Encoding: quoted-printable",
                         "<p>Caf=E9 =80 long line =\r\nwrapped</p>") +
                        "--B--\r\n"),
            "Caf\xC3\xA9 \xE2\x82\xAC long line wrapped", true},
        Row{"Base64Utf8",
            Message("multipart/related; boundary=B",
                    Part("Content-Type: text/html; charset=utf-8\r\n"
                         "Content-Transfer-Encoding: base64",
                         "PHA+w6TDtsO8PC9wPg==") +  // <p>äöü</p>
                        "--B--\r\n"),
            "\xC3\xA4\xC3\xB6\xC3\xBC", true},
        Row{"StartParameterNamesThePage",
            Message("multipart/related; boundary=B; start=\"<page@x>\"",
                    Part("Content-Type: text/html\r\nContent-ID: <frame@x>", "<p>frame</p>") +
                        Part("Content-Type: text/html\r\nContent-ID: <page@x>", "<p>page</p>") +
                        "--B--\r\n"),
            "page", true},
        Row{"ImagesBeforeThePage",
            Message("multipart/related; boundary=B",
                    Part("Content-Type: image/gif\r\nContent-Transfer-Encoding: base64",
                         "R0lGODlhAQABAAAAACw=") +
                        Part("Content-Type: text/html; charset=iso-8859-2\r\n"
                             "Content-Transfer-Encoding: quoted-printable",
                             "<b>=B1</b>") +
                        "--B--\r\n"),
            "\xC4\x85", true},
        Row{"SinglePartPage",
            Message("text/html; charset=us-ascii", "<div>one</div><div>two</div>"), "one\ntwo",
            true},
        Row{"PlainTextPage", Message("text/plain; charset=utf-8", "just text"), "just text",
            false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(MimeWebArchive, RefusesWhatHoldsNoPage) {
  for (std::string bytes :
       {std::string(), Message("multipart/related; boundary=B",
                               Part("Content-Type: image/gif", "GIF89a") + "--B--\r\n")}) {
    try {
      ReadMimeWebArchive(bytes);
      ADD_FAILURE() << "accepted: " << bytes;
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), kErrNotWebArchive);
    }
  }
}

TEST(MimeWebArchive, RefusesDeeplyNestedParts) {
  std::string body;
  for (int i = 0; i < 5000; ++i) {
    body += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" +
            std::to_string(i + 1) + "\r\n\r\n";
  }
  EXPECT_THROW(ReadMimeWebArchive(Message("multipart/mixed; boundary=b0", body)), Error);
}

}  // namespace
}  // namespace bw
