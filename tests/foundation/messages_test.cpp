// The message catalogue as a whole: every entry's code lies in an engine band, codes are unique
// but for the few reused on purpose, and every format fits exactly the arguments it asks for.
#include "engine/foundation/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/format.h"

namespace qdx {
namespace {

struct Entry {
  const char* Name;
  msg::Message Message;
};

#define QDX_LIST_MESSAGE(name, code, text) Entry{#name, msg::name},
const std::vector<Entry> kEntries = {QDX_ENGINE_MESSAGES(QDX_LIST_MESSAGE)
                                         QDX_EXPRESSION_MESSAGES(QDX_LIST_MESSAGE)};
#undef QDX_LIST_MESSAGE

// Codes raised under more than one entry, each on purpose: a stored item whose write and read
// codes cross (30316 to 30318, 30321, 30322), a stored item's code shared with a violated
// constraint (30316, 30319, 30320), and steps that share a code with a neighbouring step of
// another kind (10462 open and header write, 30430 map type and address; 10115 a BLOB field
// opened twice for writing and a write to a BLOB stream opened for reading). A check of its own
// never borrows the code of a stored item or of a check with another text.
const std::set<int32_t> kReusedCodes = {10115, 10462, 30316, 30317, 30318, 30319,
                                        30320, 30321, 30322, 30430};

// Formats whose conversions never fit: raised as the bare format with the fallback text.
const std::set<std::string_view> kNeverFitting = {"kCannotReadInternalFileBytes"};

// One argument of the kind each conversion of `format` takes ("%%" takes none).
std::vector<FormatArg> ArgumentsFor(std::string_view format) {
  std::vector<FormatArg> args;
  for (size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != '%') continue;
    size_t j = i + 1;
    while (j < format.size() &&
           std::string_view("-0123456789.").find(format[j]) != std::string_view::npos)
      ++j;
    if (j >= format.size()) break;
    switch (format[j]) {
      case '%':
        break;
      case 's':
        args.emplace_back("x");
        break;
      case 'd':
      case 'u':
      case 'x':
        args.emplace_back(1);
        break;
      default:
        args.emplace_back(1);  // a malformed conversion still counts as asking for an argument
        break;
    }
    i = j;
  }
  return args;
}

TEST(MessageCatalogue, CodesLieInTheEngineBands) {
  for (const Entry& entry : kEntries) {
    const int32_t code = entry.Message.Code;
    const bool inBand = (code >= 10000 && code <= 10999) || (code >= 20000 && code <= 20999) ||
                        (code >= 30000 && code <= 30999);
    EXPECT_TRUE(inBand) << entry.Name << " " << code;
  }
}

TEST(MessageCatalogue, EachCodeHasOneEntryButTheListedReuses) {
  std::map<int32_t, std::vector<std::string>> byCode;
  for (const Entry& entry : kEntries) byCode[entry.Message.Code].push_back(entry.Name);
  std::set<int32_t> reused;
  for (const auto& [code, names] : byCode) {
    if (names.size() > 1) reused.insert(code);
  }
  EXPECT_EQ(reused, kReusedCodes);
  std::set<std::string_view> names;
  for (const Entry& entry : kEntries) EXPECT_TRUE(names.insert(entry.Name).second) << entry.Name;
}

TEST(MessageCatalogue, EachFormatFitsExactlyItsConversions) {
  for (const Entry& entry : kEntries) {
    const std::string_view format = entry.Message.Text;
    const std::vector<FormatArg> args = ArgumentsFor(format);
    if (kNeverFitting.contains(entry.Name)) {
      EXPECT_FALSE(TryFormat(format, args).has_value()) << entry.Name;
      continue;
    }
    EXPECT_TRUE(TryFormat(format, args).has_value()) << entry.Name << ": " << format;
    if (!args.empty()) {
      // One argument fewer must not fit: the count is exact, not merely enough.
      EXPECT_FALSE(TryFormat(format, std::span(args).first(args.size() - 1)).has_value())
          << entry.Name;
    }
  }
}

TEST(MessageCatalogue, RaiseCarriesTheEntrysCodeAndText) {
  try {
    Raise(msg::kIndexCircularLinks, {7, 3});
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), msg::kIndexCircularLinks.Code);
    EXPECT_EQ(e.Message(),
              "Index integrity error. Circular links. PageNo=7 EntryNo=3 - Native error: 20032");
  }
  try {
    Raise(msg::kFreeMemInvalidPointer);
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.Message(), "Invalid pointer - Native error: 30001");
  }
}

}  // namespace
}  // namespace qdx
