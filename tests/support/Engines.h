// Value-parameterised suites that run once on each storage engine:
//   INSTANTIATE_TEST_SUITE_P(Engines, Suite, kBothEngines, EngineParamName());
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/TestServer.h"

namespace talixdb_test {

inline const auto kBothEngines = ::testing::Values(Engine::Sqlite, Engine::Postgres);

// Names each instance after its engine.
struct EngineParamName {
  std::string operator()(const ::testing::TestParamInfo<Engine>& info) const {
    return info.param == Engine::Postgres ? "PostgreSQL" : "SQLite";
  }
};

}  // namespace talixdb_test
