// A small in-memory dataset for the framework's tests: records kept in a list in natural
// order (or ordered by the first field as a 32-bit integer, to stand for an index), a cursor
// that is on a record or in the gap between two, and counters of the storage calls so that a
// test can tell a post from a cancel.
//
// Buffer layout: one null flag per field, the fields' native forms, a 4-byte record id (the
// bookmark), the flag byte, the calculated area.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

#include "dataset/framework/data_set.h"
#include "engine/foundation/little_endian.h"

namespace qdx::testing {

class TMemoryDataSet : public TDataSet {
 public:
  ~TMemoryDataSet() override { Close(); }

  // Order records by the first field's int32 value (equal keys in insertion order).
  bool OrderedByFirstField = false;
  // Fail the next post with this exception (once).
  std::function<void()> FailNextPost;
  int32_t PostCount = 0;
  int32_t CancelCount = 0;

  // Adds a stored record directly, fields given as native forms (empty: null).
  void Store(const std::vector<std::vector<uint8_t>>& values) {
    std::vector<uint8_t> data(static_cast<size_t>(recordSize_), 0);
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i].empty()) continue;
      data[i] = 1;
      std::memcpy(&data[static_cast<size_t>(offsets_[i])], values[i].data(),
                  std::min(values[i].size(), static_cast<size_t>(sizes_[i])));
    }
    const int32_t id = nextId_++;
    records_[id] = data;
    order_.insert(order_.begin() + static_cast<ptrdiff_t>(PositionFor(data, order_.size())), id);
  }
  size_t StoredCount() const { return order_.size(); }
  // Call before Open, after the field definitions: computes the record layout.
  void Layout() {
    offsets_.clear();
    sizes_.clear();
    int32_t offset = FieldDefs().Count();
    for (int32_t i = 0; i < FieldDefs().Count(); ++i) {
      const auto field = CreateFieldForType(FieldDefs()[i].DataType(), FieldDefs()[i].Size());
      offsets_.push_back(offset);
      sizes_.push_back(field->DataSize());
      offset += field->DataSize();
    }
    recordSize_ = offset;
  }

  int32_t RecordCount() override {
    int32_t n = 0;
    for (int32_t id : order_) n += Visible(id) ? 1 : 0;
    return n;
  }
  int32_t RecNo() override {
    if (State() == TDataSetState::Inserting) return -1;
    const TBookmark bm = GetBookmark();
    if (bm.empty()) return -1;
    int32_t n = 0;
    for (int32_t id : order_) {
      if (Visible(id)) ++n;
      if (id == le::Load<int32_t>(bm.data())) return n;
    }
    return -1;
  }
  bool BookmarkValid(const TBookmark& bm) override {
    return bm.size() == 4 && records_.count(le::Load<int32_t>(bm.data())) != 0;
  }

 protected:
  uint8_t* AllocRecordBuffer() override {
    return new uint8_t[static_cast<size_t>(CalcAreaOffset() + CalcFieldsSize())]();
  }
  void FreeRecordBuffer(uint8_t*& buffer) override {
    delete[] buffer;
    buffer = nullptr;
  }
  int32_t GetRecordSize() const override { return recordSize_; }
  int32_t CalcAreaOffset() const override { return recordSize_ + 5; }
  TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override {
    return static_cast<TBookmarkFlag>(buffer[recordSize_ + 4]);
  }
  void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) override {
    buffer[recordSize_ + 4] = static_cast<uint8_t>(flag);
  }
  TBookmark GetBookmarkData(const uint8_t* buffer) const override {
    return TBookmark(buffer + recordSize_, buffer + recordSize_ + 4);
  }
  void SetBookmarkData(uint8_t* buffer, const TBookmark& bm) override {
    std::memcpy(buffer + recordSize_, bm.data(), 4);
  }

  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool) override {
    while (true) {
      switch (mode) {
        case TGetMode::Current:
          if (!on_) return gap_ == 0 ? TGetResult::Bof : TGetResult::Eof;
          break;
        case TGetMode::Next:
          if (on_) ++gap_;
          on_ = gap_ < static_cast<int32_t>(order_.size());
          if (!on_) return TGetResult::Eof;
          break;
        case TGetMode::Prior:
          if (!on_ && gap_ == 0) return TGetResult::Bof;
          --gap_;
          on_ = gap_ >= 0;
          if (!on_) {
            gap_ = 0;
            return TGetResult::Bof;
          }
          break;
      }
      const int32_t id = order_[static_cast<size_t>(gap_)];
      std::memcpy(buffer, records_.at(id).data(), static_cast<size_t>(recordSize_));
      le::Store<int32_t>(buffer + recordSize_, id);
      SetBookmarkFlag(buffer, TBookmarkFlag::Current);
      if (RecordAccepted(buffer)) return TGetResult::Ok;
      if (mode == TGetMode::Current) return TGetResult::Error;
    }
  }

  void InternalOpen() override {
    Layout();
    CreateFields();
    BindFields();
    open_ = true;
  }
  void InternalClose() override {
    DestroyCreatedFields();
    open_ = false;
  }
  bool IsCursorOpen() const override { return open_; }
  void InternalFirst() override { gap_ = 0, on_ = false; }
  void InternalLast() override { gap_ = static_cast<int32_t>(order_.size()), on_ = false; }
  void InternalInitRecord(uint8_t* buffer) override {
    std::memset(buffer, 0, static_cast<size_t>(recordSize_));
    le::Store<int32_t>(buffer + recordSize_, -1);
  }
  void InternalInsert() override { insertAt_ = gap_; }
  void InternalCancel() override { ++CancelCount; }
  void InternalPost() override {
    if (FailNextPost) {
      auto fail = std::move(FailNextPost);
      FailNextPost = nullptr;
      fail();
    }
    ++PostCount;
    uint8_t* buffer = ActiveBuffer();
    std::vector<uint8_t> data(buffer, buffer + recordSize_);
    if (State() == TDataSetState::Inserting) {
      const bool append = GetBookmarkFlag(buffer) == TBookmarkFlag::Eof;
      AddRecord(data, append ? order_.size() : static_cast<size_t>(std::max(insertAt_, 0)));
    } else {
      const int32_t id = le::Load<int32_t>(buffer + recordSize_);
      records_[id] = data;
      const auto old = std::find(order_.begin(), order_.end(), id);
      const size_t kept = static_cast<size_t>(old - order_.begin());
      order_.erase(old);
      const size_t at = PositionFor(data, kept);
      order_.insert(order_.begin() + static_cast<ptrdiff_t>(at), id);
      SetTo(id);
    }
  }
  void InternalAddRecord(uint8_t* buffer, bool append) override {
    ++PostCount;
    AddRecord(std::vector<uint8_t>(buffer, buffer + recordSize_),
              append ? order_.size() : static_cast<size_t>(std::max(insertAt_, 0)));
  }
  void InternalDelete() override {
    const int32_t id = le::Load<int32_t>(ActiveBuffer() + recordSize_);
    const auto it = std::find(order_.begin(), order_.end(), id);
    gap_ = static_cast<int32_t>(it - order_.begin());
    on_ = false;
    order_.erase(it);
    records_.erase(id);
  }
  void InternalGotoBookmark(const TBookmark& bm) override {
    if (!BookmarkValid(bm)) DatabaseError("Record not found", Name());
    SetTo(le::Load<int32_t>(bm.data()));
  }
  void InternalSetToRecord(uint8_t* buffer) override { SetTo(le::Load<int32_t>(buffer + recordSize_)); }
  bool GetDataFieldData(const TField& field, const uint8_t* buffer,
                        std::span<uint8_t> out) const override {
    const size_t i = static_cast<size_t>(field.FieldNo() - 1);
    if (buffer[i] == 0) return false;
    if (!out.empty()) {
      std::memcpy(out.data(), buffer + offsets_[i], std::min(out.size(), static_cast<size_t>(sizes_[i])));
    }
    return true;
  }
  void SetDataFieldData(const TField& field, uint8_t* buffer,
                        std::span<const uint8_t> value) override {
    const size_t i = static_cast<size_t>(field.FieldNo() - 1);
    buffer[i] = value.empty() ? 0 : 1;
    std::memset(buffer + offsets_[i], 0, static_cast<size_t>(sizes_[i]));
    if (!value.empty()) {
      std::memcpy(buffer + offsets_[i], value.data(), std::min(value.size(), static_cast<size_t>(sizes_[i])));
    }
  }

 private:
  bool Visible(int32_t id) {
    if (!Filtered() || !OnFilterRecord()) return true;
    std::vector<uint8_t> buffer(static_cast<size_t>(CalcAreaOffset() + CalcFieldsSize()));
    std::memcpy(buffer.data(), records_.at(id).data(), static_cast<size_t>(recordSize_));
    return RecordAccepted(buffer.data());
  }
  size_t PositionFor(const std::vector<uint8_t>& data, size_t fallback) const {
    if (!OrderedByFirstField) return fallback;
    const int32_t key = le::Load<int32_t>(&data[static_cast<size_t>(offsets_[0])]);
    size_t at = 0;
    while (at < order_.size() &&
           le::Load<int32_t>(&records_.at(order_[at])[static_cast<size_t>(offsets_[0])]) <= key) {
      ++at;
    }
    return at;
  }
  void AddRecord(std::vector<uint8_t> data, size_t at) {
    const int32_t id = nextId_++;
    at = PositionFor(data, at);
    records_[id] = std::move(data);
    order_.insert(order_.begin() + static_cast<ptrdiff_t>(at), id);
    SetTo(id);
  }
  void SetTo(int32_t id) {
    const auto it = std::find(order_.begin(), order_.end(), id);
    gap_ = static_cast<int32_t>(it - order_.begin());
    on_ = it != order_.end();
  }

  std::map<int32_t, std::vector<uint8_t>> records_;
  std::vector<int32_t> order_;
  int32_t nextId_ = 1;
  int32_t gap_ = 0;  // the record the cursor is on, or the gap before that position
  bool on_ = false;
  int32_t insertAt_ = 0;
  bool open_ = false;
  int32_t recordSize_ = 0;
  std::vector<int32_t> offsets_;
  std::vector<int32_t> sizes_;
};

}  // namespace qdx::testing
