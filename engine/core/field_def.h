// Field definitions: TQDXFieldDef and the field collection TQDXFieldDefs.
//
// A field is declared with a field type and a size; its storage data type follows from the type
// table (data_types.h), and its sizes in a record buffer and a stored record follow from the data
// type (record_layout.h). Offsets are computed by the collection (CalculateOffsets) whenever the
// list changes; they are never stored.
//
// Stored form of a field (after the definition base of meta_object_def.h), little-endian:
//
//   size  content                                          write / read code
//   1     DataType                                         10170 / 10187
//   1     FieldType                                        10171 / 10188
//   4     Size                                             10172 / 10189
//   1     BlobCompressionAlgorithm  } only for the data    10175 / 10192
//   1     BlobCompressionMode       } types BLOB, MEMO     10176 / 10193
//   4     BlobBlockSize             } and WIDEMEMO         10177 / 10194
//   8     AutoincIncrement                                 30412 / 30407
//   8     AutoincInitialValue                              30413 / 30408
//   8     AutoincMinValue                                  30414 / 30409
//   8     AutoincMaxValue                                  30415 / 30410
//   1     AutoincCycled                                    30416 / 30411
//   2..   DefaultValue in the variant's stored form        10179..10182 / 10183..10186
//
// Stored form of the collection: int32 count (10158 / 10159), then every field in order.
//
// Default expressions. A default that is a text may be an expression evaluated anew for every
// new record. The expression evaluator belongs to the SQL engine, which plugs in through
// SetDefaultExpressionParser; until one is registered a default is always its own value.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "engine/core/meta_object_def.h"
#include "engine/foundation/types/data_types.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

inline constexpr int32_t kDefaultBlobBlockSize = 102400;

// A parsed default expression: evaluated once for each new record.
class TQDXDefaultExpression {
 public:
  virtual ~TQDXDefaultExpression() = default;
  virtual TQDXVariant Evaluate() = 0;
};

// Answers the parsed expression of a text default, or none when the text is not an expression
// that refers to no field and evaluates to a value of another text than its own.
using TQDXDefaultExpressionParser =
    std::unique_ptr<TQDXDefaultExpression> (*)(const TQDXVariant& defaultValue);
// Registers the process-wide parser (none: defaults are plain values). Call before any table
// is opened; it is read without a lock.
void SetDefaultExpressionParser(TQDXDefaultExpressionParser parser);

class TQDXFieldDef : public TQDXMetaObjectDef {
 public:
  TQDXFieldDef() = default;

  // Stores the field type and size, derives the data type and recomputes MemorySize and
  // StoredSize. A field type without a data type fails with 30007.
  void SetFieldType(TQDXFieldType fieldType, int32_t size = 0);
  // MemorySize and StoredSize from DataType and Size; an unknown data type fails with 30050.
  void RecomputeSizes();

  bool IsBlob() const { return IsBlobDataType(DataType); }
  bool IsAutoinc() const { return IsAutoIncFieldType(FieldType); }

  const TQDXVariant& DefaultValue() const { return defaultValue_; }
  // Copies the value and rebuilds the default expression.
  void SetDefaultValue(const TQDXVariant& value);
  TQDXDefaultExpression* DefaultExpression() const { return defaultExpression_.get(); }
  // The value a new record receives, in the field's data type: the expression's result when
  // the default is an expression, else the default value converted; null when there is none.
  TQDXVariant EvaluateDefault() const;
  // Refuses a plain default (not a BLOB field's, not an expression) that cannot be converted to
  // the field's data type (30051, 30052) or whose encoding is longer than the slot (20056), such
  // as a text longer than Size. Expression results are cut to the slot when written.
  void CheckDefaultFits() const;

  void Assign(const TQDXMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::string_view ClassName() const override { return "TQDXFieldDef"; }

  TQDXDataType DataType = TQDXDataType::None;
  TQDXFieldType FieldType = TQDXFieldType::None;
  int32_t Size = 0;
  int32_t StoredSize = 0;
  int32_t MemorySize = 0;
  int32_t StoredOffset = 0;
  int32_t MemoryOffset = 0;
  int32_t SourceFieldNo = 0;
  uint8_t BlobCompressionAlgorithm = 0;
  uint8_t BlobCompressionMode = 0;
  int32_t BlobBlockSize = kDefaultBlobBlockSize;
  int64_t AutoincIncrement = 1;
  int64_t AutoincInitialValue = 0;
  int64_t AutoincMinValue = 0;
  int64_t AutoincMaxValue = std::numeric_limits<int64_t>::max();
  bool AutoincCycled = false;

 private:
  void RebuildDefaultExpression();

  TQDXVariant defaultValue_;
  std::unique_ptr<TQDXDefaultExpression> defaultExpression_;
};

class TQDXFieldDefs : public TQDXMetaObjectDefs {
 public:
  TQDXFieldDef& GetFieldDef(int32_t index) const {
    return static_cast<TQDXFieldDef&>(GetDef(index));
  }
  TQDXFieldDef* FindField(std::string_view name) const {
    return static_cast<TQDXFieldDef*>(FindByName(name));
  }

  TQDXMetaObjectDef& AddCreated() override;
  // Creates, appends and answers a field of the type.
  TQDXFieldDef& AddField(std::string_view name, TQDXFieldType fieldType, int32_t size = 0);
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // The last virtual operation: StoredOffset and MemoryOffset of every field, both starting
  // behind the null bitmap.
  virtual void CalculateOffsets();

  // The null bitmap and every field's slot (record_layout.h). They sum the sizes, so they are
  // right even before CalculateOffsets.
  int32_t MemoryRecordSize() const;
  int32_t StoredRecordSize() const;

  std::string_view ClassName() const override { return "TQDXFieldDefs"; }
};

}  // namespace qdx
