#include "engine/foundation/scope_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qdx {
namespace {

// How a scope holding a guard ends, and how often the release ran.
TEST(ScopeExitTest, ReleasesOnceHoweverTheScopeEnds) {
  struct Case {
    const char* name;
    bool dismiss;
    bool releaseEarly;
    bool raise;
    int expected;
  };
  for (const Case& c : std::vector<Case>{{"normal end", false, false, false, 1},
                                         {"error", false, false, true, 1},
                                         {"dismissed", true, false, false, 0},
                                         {"dismissed, then error", true, false, true, 0},
                                         {"released early", false, true, false, 1},
                                         {"released early, then error", false, true, true, 1}}) {
    int released = 0;
    try {
      ScopeExit guard([&] { ++released; });
      if (c.dismiss) guard.Dismiss();
      if (c.releaseEarly) {
        guard.ReleaseNow();
        EXPECT_EQ(released, 1) << c.name;
        guard.ReleaseNow();
      }
      if (c.raise) throw std::runtime_error("work failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(released, c.expected) << c.name;
  }
}

TEST(ScopeExitTest, TheFirstErrorWins) {
  const auto failingRelease = [] { throw std::logic_error("release failed"); };
  // Left by an error: the release's own error is dropped.
  try {
    const ScopeExit guard(failingRelease);
    throw std::runtime_error("work failed");
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "work failed");
  }
  // Left normally: the release's error is the outcome.
  EXPECT_THROW({ const ScopeExit guard(failingRelease); }, std::logic_error);
}

// A guard made inside a helper raising on an error path of an outer scope: the count of errors
// in flight is that of the scope the guard ends in, so a release error on a normal end of an
// inner scope still comes through even while an outer error unwinds.
TEST(ScopeExitTest, AGuardInADestructorDuringUnwindingStillReportsItsOwnNormalEnd) {
  std::string seen;
  struct Cleanup {
    std::string& seen;
    ~Cleanup() {
      try {
        const ScopeExit guard([] { throw std::logic_error("release failed"); });
      } catch (const std::logic_error& e) {
        seen = e.what();
      }
    }
  };
  try {
    const Cleanup cleanup{seen};
    throw std::runtime_error("work failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(seen, "release failed");
}

TEST(ScopeExitTest, AMovedGuardReleasesOnlyInItsNewOwner) {
  int released = 0;
  const auto take = [&] { return ScopeExit([&] { ++released; }); };
  {
    auto first = take();
    {
      auto second = std::move(first);
      EXPECT_EQ(released, 0);
    }
    EXPECT_EQ(released, 1);
  }
  EXPECT_EQ(released, 1);
}

TEST(ScopedValueTest, PutsTheOldValueBackOnEveryPath) {
  bool flag = false;
  std::string text = "outer";
  {
    const ScopedValue set(flag, true);
    const ScopedValue renamed(text, std::string("inner"));
    EXPECT_TRUE(flag);
    EXPECT_EQ(renamed.Saved(), "outer");
    {
      const ScopedValue again(flag, false);
      EXPECT_FALSE(flag);
    }
    EXPECT_TRUE(flag);
    EXPECT_EQ(text, "inner");
  }
  EXPECT_FALSE(flag);
  EXPECT_EQ(text, "outer");

  int depth = 1;
  EXPECT_THROW(
      {
        const ScopedValue deeper(depth, 2);
        throw std::runtime_error("work failed");
      },
      std::runtime_error);
  EXPECT_EQ(depth, 1);
}

}  // namespace
}  // namespace qdx
