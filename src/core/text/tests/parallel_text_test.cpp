#include "text/ParallelText.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "text/VisibleText.h"

namespace bw {
namespace {

TEST(ParallelText, ResultsInInputOrderWithEachFailureKeptAtItsDocument) {
  for (unsigned threads : {0u, 1u, 3u, 16u}) {
    const auto results = ConvertInParallel(
        500,
        [](std::size_t i) -> std::string {
          if (i % 97 == 5) throw std::runtime_error("document " + std::to_string(i));
          return ExtractVisibleText("<p>page " + std::to_string(i) + "</p>").text;
        },
        threads);
    ASSERT_EQ(results.size(), 500u);
    for (std::size_t i = 0; i < results.size(); ++i) {
      if (i % 97 == 5) {
        ASSERT_TRUE(results[i].error) << i;
        try {
          std::rethrow_exception(results[i].error);
        } catch (const std::runtime_error& error) {
          EXPECT_EQ(std::string(error.what()), "document " + std::to_string(i));
        }
      } else {
        EXPECT_FALSE(results[i].error) << i;
        EXPECT_EQ(results[i].text, "page " + std::to_string(i)) << threads;
      }
    }
  }
}

TEST(ParallelText, NothingToDoStartsNoThread) {
  const auto caller = std::this_thread::get_id();
  EXPECT_TRUE(ConvertInParallel(
                  0, [](std::size_t) { return std::string("x"); }, 4)
                  .empty());
  const auto one = ConvertInParallel(
      1,
      [&](std::size_t) {
        return std::string(std::this_thread::get_id() == caller ? "caller" : "other");
      },
      4);
  EXPECT_EQ(one.at(0).text, "caller");
}

}  // namespace
}  // namespace bw
