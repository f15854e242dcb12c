// A session's named objects: one per ID, replaced when added again.
#include "engine/core/session_named_object.h"

#include <gtest/gtest.h>

#include "engine/core/base_session.h"

namespace qdx {
namespace {

TEST(SessionNamedObjectTest, AddingReplacesTheObjectOfTheSameIdOrName) {
  TQDXBaseSession session;
  session.AddNamedObject(std::make_unique<TQDXSessionNamedObjectSequenceValue>(7, "Nr", 1));
  session.AddNamedObject(std::make_unique<TQDXSessionNamedObjectSequenceValue>(8, "Nr", 5));
  session.AddNamedObject(std::make_unique<TQDXSessionNamedObjectSequenceValue>(7, "Nr", 2));
  auto value = [&](int32_t id) {
    return dynamic_cast<TQDXSessionNamedObjectSequenceValue*>(session.FindNamedObjectByID(id))
        ->Value;
  };
  EXPECT_EQ(value(7), 2);
  EXPECT_EQ(value(8), 5);
  EXPECT_EQ(session.FindNamedObjectByName("nR")->ID(), 8);  // the first in the list

  // Known by name only: replaced by name, ignoring case.
  session.AddNamedObject(std::make_unique<TQDXSessionNamedObject>(-1, "Teller"));
  session.AddNamedObject(std::make_unique<TQDXSessionNamedObject>(-1, "TELLER"));
  EXPECT_EQ(session.FindNamedObjectByName("teller")->Name(), "TELLER");

  session.DeleteNamedObject(8);
  session.DeleteNamedObject(99);  // absent: nothing happens
  EXPECT_EQ(session.FindNamedObjectByID(8), nullptr);
  EXPECT_EQ(value(7), 2);
}

}  // namespace
}  // namespace qdx
