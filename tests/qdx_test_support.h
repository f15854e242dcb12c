// Helpers shared by the test suites: checking that a statement raises an engine error.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/foundation/except.h"

namespace qdx::testing {

// The code to expect: a bare code, or a catalogue entry's.
inline int32_t ExpectedCode(int32_t code) {
  return code;
}
inline int32_t ExpectedCode(const msg::Message& message) {
  return message.Code;
}

// The code of the EQDXException that `action` raises; 0 when it raises none.
template <typename Action>
int32_t QdxErrorCode(Action&& action) {
  try {
    action();
  } catch (const EQDXException& e) {
    return e.ErrorCode();
  }
  return 0;
}

// The message of the EQDXException that `action` raises; empty when it raises none.
template <typename Action>
std::string QdxErrorMessage(Action&& action) {
  try {
    action();
  } catch (const EQDXException& e) {
    return e.Message();
  }
  return {};
}

}  // namespace qdx::testing

// Expects `statement` to raise an EQDXException with `code` (a code or a catalogue entry)
// whose message contains `text`.
#define EXPECT_QDX_ERROR(statement, code, text)                                  \
  try {                                                                          \
    statement;                                                                   \
    ADD_FAILURE() << "no exception from " #statement;                            \
  } catch (const ::qdx::EQDXException& e) {                                      \
    EXPECT_EQ(e.ErrorCode(), ::qdx::testing::ExpectedCode(code)) << e.Message(); \
    EXPECT_THAT(e.Message(), ::testing::HasSubstr(text));                        \
  }
