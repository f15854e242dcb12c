#include "dataset/framework/index_defs.h"

#include "engine/foundation/platform/locale.h"

namespace qdx {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

}  // namespace

std::vector<std::string> SplitFieldNames(std::string_view names) {
  std::vector<std::string> result;
  while (true) {
    const size_t semi = names.find(';');
    const std::string_view part = Trim(names.substr(0, semi));
    if (!part.empty()) result.emplace_back(part);
    if (semi == std::string_view::npos) break;
    names.remove_prefix(semi + 1);
  }
  return result;
}

bool SameFieldName(std::string_view a, std::string_view b) {
  // Most names are ASCII: answer those without the collator, which field look-ups in a walk
  // would otherwise pay for on every record.
  bool ascii = true;
  if (a.size() == b.size()) {
    bool equal = true;
    for (size_t i = 0; i < a.size(); ++i) {
      const auto ca = static_cast<unsigned char>(a[i]);
      const auto cb = static_cast<unsigned char>(b[i]);
      if (ca >= 0x80 || cb >= 0x80) {
        ascii = false;
        break;
      }
      if (AsciiUpper(a[i]) != AsciiUpper(b[i])) equal = false;
    }
    if (ascii) return equal;
  } else {
    for (char c : a) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    for (char c : b) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return false;
  }
  return platform::UserDefaultLocale().CompareAnsi(
             platform::kIgnoreCase, a.data(), static_cast<int32_t>(a.size()), b.data(),
             static_cast<int32_t>(b.size())) == platform::CollationResult::Equal;
}

TIndexDef& TIndexDefs::Add(std::string name, std::string fields, TIndexOptions options) {
  items_.push_back(std::make_unique<TIndexDef>(std::move(name), std::move(fields), options));
  return *items_.back();
}

const TIndexDef* TIndexDefs::Find(std::string_view name) const {
  for (const auto& def : items_) {
    if (SameFieldName(def->Name(), name)) return def.get();
  }
  return nullptr;
}

const TIndexDef* TIndexDefs::FindForFields(std::string_view fields) const {
  const std::vector<std::string> wanted = SplitFieldNames(fields);
  if (wanted.empty()) return nullptr;
  for (const auto& def : items_) {
    const std::vector<std::string> have = SplitFieldNames(def->Fields());
    if (have.size() != wanted.size()) continue;
    bool same = true;
    for (size_t i = 0; i < have.size() && same; ++i) same = SameFieldName(have[i], wanted[i]);
    if (same) return def.get();
  }
  return nullptr;
}

}  // namespace qdx
