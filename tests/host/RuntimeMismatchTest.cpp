// A host linked with another gSOAP runtime variant (libgsoap++) ahead of the
// library: open refuses and says why in the host's log, instead of making
// contexts of the wrong layout.
#include <gtest/gtest.h>

#include "api/ApiTestSupport.h"

namespace {

TEST(HostWithAnotherRuntimeVariant, OpenRefusesAndLogsWhy) {
  talixdb_test::RecordingLogger logger;
  VLT_121::CVLTDatabase db;
  db.setLoggingObject(&logger);
  logger.messages.clear();
  EXPECT_FALSE(db.open("127.0.0.1:1"));
  ASSERT_EQ(1u, logger.messages.size());
  EXPECT_EQ(TALIX::LogTypeError, logger.messages[0].first);
  EXPECT_NE(std::string::npos, logger.messages[0].second.find("libgsoap++")) << logger.messages[0].second;
  EXPECT_NE(std::string::npos, logger.messages[0].second.find("gsoapssl++")) << logger.messages[0].second;
}

}  // namespace
