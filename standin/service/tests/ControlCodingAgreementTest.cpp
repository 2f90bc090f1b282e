// The endpoint's argument coding against the table the console's client tests
// read too.
#include <gtest/gtest.h>

#include "CodingTable.h"
#include "service/ControlProtocol.h"

namespace standin::service {
namespace {

TEST(ControlCodingAgreement, EndpointCodesEveryRowOfTheSharedTable) {
  auto rows = agreement::ReadCodingTable(BW_CODING_TABLE);
  ASSERT_GT(rows.size(), 10u);
  for (const auto& row : rows) {
    SCOPED_TRACE("line " + std::to_string(row.line) + ": " + row.word);
    EXPECT_EQ(DecodeArgument(row.word), row.value);
    if (row.encode) {
      EXPECT_EQ(EncodeArgument(*row.value), row.word);
    }
  }
}

}  // namespace
}  // namespace standin::service
