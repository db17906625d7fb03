// Out of memory inside a call: each allocation of a call fails in turn (the
// first, then the second, ...), and the call must neither crash nor let the
// exception out, nor report a success it did not have; the handle serves on.
// The leak checker of the build sees what a failure path forgets to release.
#include <cstdlib>
#include <functional>
#include <new>

#include "api/ApiTestSupport.h"

namespace {

// The countdown of the calling thread: at zero its next allocation fails once.
thread_local long t_allocationsLeft = -1;
thread_local bool t_failed = false;

void* allocate(std::size_t size) {
  if (t_allocationsLeft >= 0 && t_allocationsLeft-- == 0) {
    t_failed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

// Every form the code uses, nothrow ones too (the runtime's), so that each
// pairs with the deletes below in any build.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return operator new(size, nothrow); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

using namespace talixdb_test;
using VLT_121::CVLTModel;

namespace {

class AllocationFailure : public RootSession {
 protected:
  // `act` answers whether the call did what it was asked (or, for a check,
  // the check's answer); `look` reads what it left, with nothing failing.
  struct Call {
    const char* name;
    std::function<bool()> act;
    std::function<std::string()> look;
    std::function<void()> undo = [] {};
  };

  // Runs `call` with its first, second, ... allocation failing until it gets
  // through without one. A failed call may answer false; an answer true must
  // be the one the call gives untroubled, and leave what it leaves then.
  void failEachAllocation(const Call& call) {
    call.undo();
    const bool answer = call.act();
    const std::string left = call.look();
    int failures = 0;
    // Every one of the first 64 allocations, then ever more sparsely: a long
    // call is tried all along in about 200 runs, not thousands.
    for (long at = 0; at < 100000; at += 1 + at / 64) {
      call.undo();
      t_failed = false;
      t_allocationsLeft = at;
      bool given = false;
      try {
        given = call.act();
      } catch (const std::bad_alloc&) {
        ADD_FAILURE() << call.name << " let out of memory out with allocation " << at << " failing";
      }
      t_allocationsLeft = -1;
      if (!t_failed) break;
      ++failures;
      if (!given) continue;
      EXPECT_TRUE(answer) << call.name << " answered true with allocation " << at << " failing";
      EXPECT_EQ(call.look(), left) << call.name << " with allocation " << at << " failing";
    }
    EXPECT_GT(failures, 0) << call.name;
    call.undo();
    EXPECT_EQ(call.act(), answer) << call.name << " after the failures";
    EXPECT_EQ(call.look(), left) << call.name << " after the failures";
  }

  std::string modelPathOf(const std::string& model) const { return modelPath(testName(), "T", model); }
};

std::string namesOf(int count, const std::function<const char*(int)>& get) {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::string(" ") + (get(i) ? get(i) : "(null)");
  return text;
}

TEST_F(AllocationFailure, CallsFailCleanlyAndNeverClaimWhatTheyDidNotDo) {
  AttachedLogger logger(m_db);
  const std::string category = testName();
  const auto pumpLike = [](const std::string& name) {
    return std::move(ModelBuilder(name).description("centrifugal").components({"water", "air"})
                         .ports({{"in", "Material", "CAPE_INLET", ""}})
                         .parameters({{"speed", "CAPE_REAL", {}, "0", "100"}, {"mode", "CAPE_OPTION", {"a", "b"}}}));
  };
  ModelPtr pump = pumpLike("Pump").build();
  ASSERT_EQ(0, m_db.uploadModel(category.c_str(), "T", pump.get()));
  ModelPtr solver = pumpLike("Fast").sortedComponents({"air", "water"}).surface("inlet", "0 0 0\n", "1 2 3\n").build();
  ASSERT_EQ(0, m_db.importSolver(category.c_str(), "T", "Pump", solver.get()));
  ModelPtr foreign = ModelBuilder("Pump").ports({{"drain", "Material", "CAPE_OUTLET", ""}}).build();
  const std::string pumpPath = modelPathOf("Pump");
  TempDir scratch;
  const std::string backupDir = scratch.path() + "/backup";
  ModelPtr downloaded;
  const auto pumpNow = [&] { return describe(ModelPtr(m_db.downloadModel(category.c_str(), "T", "Pump"))); };
  const auto leafNames = [&] {
    return namesOf(m_db.getNrDownloadedLeafNames(), [&](int i) { return m_db.getDownloadedLeafName(i); });
  };

  const std::vector<Call> calls = {
      {"downloadModel",
       [&] { return (downloaded = ModelPtr(m_db.downloadModel(category.c_str(), "T", "Pump"))) != nullptr; },
       [&] { return describe(downloaded); }},
      {"checkModelCompatibility",
       [&] { return m_db.checkModelCompatibility(category.c_str(), "T", "Pump", foreign.get()); }, [] { return ""; }},
      {"takeVLTSnapshot",
       [&] {
         m_db.takeVLTSnapshot(nullptr);
         return m_db.downloadModelLeafNames();
       },
       leafNames},
      {"backupTALIXFolder", [&] { return m_db.backupTALIXFolder(pumpPath.c_str(), backupDir.c_str()) == 0; },
       [&] {
         std::string text;
         for (const std::string& file : localTree(backupDir))
           text += " " + file + ":" + std::to_string(std::filesystem::file_size(backupDir + "/" + file));
         return text;
       },
       [&] { std::filesystem::remove_all(backupDir); }},
      // Last: taking the model away takes its solver too.
      {"uploadModel", [&] { return m_db.uploadModel(category.c_str(), "T", pump.get()) == 0; }, pumpNow,
       [&] { m_db.deleteItem(pumpPath.c_str()); }},
  };
  for (const Call& call : calls) failEachAllocation(call);
}

}  // namespace
