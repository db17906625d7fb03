// What a host can ask the library without a server: its version and the
// texts of the result codes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "talixdbapi/VLTDatabase.h"

namespace {

TEST(Version, LoadedLibraryMatchesItsHeaders) {
  EXPECT_STREQ(VLT_121::getLibraryVersion(), TALIXDBAPI_VERSION_STRING);
  EXPECT_EQ(std::to_string(TALIXDBAPI_VERSION_MAJOR) + "." + std::to_string(TALIXDBAPI_VERSION_MINOR) + "." +
                std::to_string(TALIXDBAPI_VERSION_PATCH),
            TALIXDBAPI_VERSION_STRING);
}

TEST(ResultText, EveryCodeHasItsOwnTextAndOthersAreUnknown) {
  const std::string unknown = "unknown result code";
  std::set<std::string> seen;
  for (int code = 0; code <= 30; ++code) {
    const char* text = VLT_121::getResultText(code);
    ASSERT_NE(text, nullptr) << code;
    if (code == 13) {  // not a code
      EXPECT_EQ(text, unknown);
      continue;
    }
    EXPECT_NE(text, unknown) << code;
    EXPECT_TRUE(seen.insert(text).second) << code << " repeats " << text;
  }
  for (int code : {-1, 31, 1000}) EXPECT_EQ(VLT_121::getResultText(code), unknown) << code;
  EXPECT_STREQ(VLT_121::getResultText(0), "success");
  EXPECT_STREQ(VLT_121::getResultText(VLT_121::ResultCode::kModelExists), "the model exists already");
}

}  // namespace
