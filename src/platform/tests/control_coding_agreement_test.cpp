// The client's argument coding against the table the stand-in's tests read too.
#include <gtest/gtest.h>

#include "CodingTable.h"
#include "platform/ServiceControl.h"

namespace bw::platform {
namespace {

TEST(ControlCodingAgreement, ClientCodesEveryRowOfTheSharedTable) {
  auto rows = agreement::ReadCodingTable(BW_CODING_TABLE);
  ASSERT_GT(rows.size(), 10u);
  for (const auto& row : rows) {
    SCOPED_TRACE("line " + std::to_string(row.line) + ": " + row.word);
    EXPECT_EQ(DecodeControlArgument(row.word), row.value);
    if (row.encode) {
      EXPECT_EQ(EncodeControlArgument(*row.value), row.word);
    }
  }
}

}  // namespace
}  // namespace bw::platform
