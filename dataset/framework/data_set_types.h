// The small vocabulary of the dataset framework: dataset states, the notifications a dataset
// sends to its data sources and links, fetch modes and results, bookmark flags, and the option
// sets of locating and filtering. Plain enums and sets; no behaviour.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <vector>

namespace qdx {

class TDataSet;
class TField;

// What a dataset is doing. Only the first four are visible to an application in practice;
// Calculating, Filtering and InternalCalc last for one calculation or one filter test.
enum class TDataSetState : uint8_t {
  Inactive,   // closed
  Browse,     // open, positioned, not changing
  Editing,    // the current record is being changed
  Inserting,  // a new record is being built
  KeyEntry,   // a key buffer is being filled for a key search or a range
  Calculating,
  Filtering,
  InternalCalc,
};

// True for the states in which field setters may write.
constexpr bool IsWritableState(TDataSetState s) {
  return s == TDataSetState::Editing || s == TDataSetState::Inserting ||
         s == TDataSetState::KeyEntry || s == TDataSetState::Calculating ||
         s == TDataSetState::Filtering || s == TDataSetState::InternalCalc;
}

// Notifications from a dataset to its data sources and their links.
enum class TDataEvent : uint8_t {
  FieldChanged,      // a field's value changed (info: the field)
  RecordChanged,     // the current record's values changed (info: the field, or none)
  DataSetChanged,    // the window was rebuilt: everything shown may have changed
  DataSetScrolled,   // the current record moved inside the window (info: distance)
  LayoutChanged,     // fields were added, removed or changed their display
  UpdateRecord,      // controls must write their pending values into the record
  UpdateState,       // the state changed: opened, closed, editing began or ended
  CheckBrowseMode,   // a move is about to happen: controls settle what they hold
  PropertyChanged,
  FieldListChanged,
  FocusControl,      // a control bound to the field should take the focus (info: the field)
};

// The payload of a notification: a field, a distance, or nothing.
struct TDataEventInfo {
  TField* Field = nullptr;
  int32_t Distance = 0;
};

// Fetch modes of a dataset's GetRecord.
enum class TGetMode : uint8_t { Current, Next, Prior };
// Fetch results.
enum class TGetResult : uint8_t { Ok, Bof, Eof, Error };

// The flag byte of a record buffer.
enum class TBookmarkFlag : uint8_t { Current = 0, Bof = 1, Eof = 2, Inserted = 3 };

// A bookmark: the bytes a dataset needs to find a record again. Empty means "no bookmark".
using TBookmark = std::vector<uint8_t>;

// What an error handler of an edit, post or delete asks the dataset to do.
enum class TDataAction : uint8_t { Fail, Abort, Continue, Retry };

// A small bit set over an enum, for the option sets of the framework.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr TSet& Include(E e) { bits_ |= Bit(e); return *this; }
  constexpr TSet& Exclude(E e) { bits_ &= ~Bit(e); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSet, TSet) = default;

 private:
  static constexpr uint32_t Bit(E e) { return 1u << static_cast<uint32_t>(e); }
  uint32_t bits_ = 0;
};

enum class TLocateOption : uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

enum class TFilterOption : uint8_t { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

// Events, each called with the dataset.
using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
// OnFilterRecord: the record is offered in state Filtering; `accept` comes in true.
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;
// OnEditError, OnPostError, OnDeleteError: `action` comes in Fail.
using TDataSetErrorEvent =
    std::function<void(TDataSet&, const std::exception& error, TDataAction& action)>;

}  // namespace qdx
