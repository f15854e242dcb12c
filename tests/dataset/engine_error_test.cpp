#include "dataset/engine_error.h"

#include <gtest/gtest.h>

namespace qdx {
namespace {

TEST(EQDXEngineErrorTest, MessageFromResultTable) {
  struct Case {
    int32_t code;
    const char* passed;
    const char* expected;
  };
  const Case cases[] = {
      {-1, "ignored", "Quendrix Engine Error # -1 Error adding record"},
      {-12, "ignored", "Quendrix Engine Error # -12 Record is locked"},
      {-13, "", "Quendrix Engine Error # -13 Table is locked"},
      {-8, "Constraint 'C' violated", "Quendrix Engine Error # -8 Constraint 'C' violated"},
      {-99, "ignored", "Quendrix Engine Error # -99 "},
  };
  for (const Case& c : cases) {
    const EQDXEngineError e(c.code, c.passed);
    EXPECT_EQ(e.Message(), c.expected);
    EXPECT_EQ(e.ErrorCode(), c.code);
  }
}

TEST(EQDXEngineErrorTest, IsADatasetError) {
  try {
    CheckEngineResult(-6, "");
    FAIL() << "no error raised";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "Quendrix Engine Error # -6 Error updating record - record was deleted by other "
              "process");
  }
}

TEST(EQDXEngineErrorTest, SuccessRaisesNothing) {
  EXPECT_NO_THROW(CheckEngineResult(0, "x"));
}

TEST(DatabaseErrorTest, ComponentNameComesFirst) {
  try {
    DatabaseError("Dataset is not opened", "tb1");
    FAIL() << "no error raised";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb1: Dataset is not opened");
  }
}

}  // namespace
}  // namespace qdx
