// Byte fields and BLOB fields.
#include "dataset/framework/binary_fields.h"

#include <algorithm>

#include "dataset/framework/data_set.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

// ---- Bytes ---------------------------------------------------------------------------------

std::vector<uint8_t> TBytesField::Bytes() const {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  if (!GetData(buffer)) return {};
  if (DataType() == ftVarBytes) {
    const size_t n = std::min<size_t>(le::Load<uint16_t>(buffer.data()), buffer.size() - 2);
    return std::vector<uint8_t>(buffer.begin() + 2, buffer.begin() + 2 + static_cast<ptrdiff_t>(n));
  }
  return buffer;
}

void TBytesField::SetBytes(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  const size_t n = std::min(bytes.size(), static_cast<size_t>(Size()));
  if (DataType() == ftVarBytes) {
    le::Store<uint16_t>(buffer.data(), static_cast<uint16_t>(n));
    std::copy_n(bytes.begin(), n, buffer.begin() + 2);
  } else {
    std::copy_n(bytes.begin(), n, buffer.begin());
  }
  SetData(buffer);
}

std::u16string TBytesField::AsString() const {
  const std::vector<uint8_t> bytes = Bytes();
  return platform::AnsiToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TBytesField::SetAsString(std::u16string_view text) {
  const std::string bytes = platform::WideToAnsi(text);
  SetBytes(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// ---- BLOBs ---------------------------------------------------------------------------------

std::vector<uint8_t> TBlobField::Bytes() const {
  std::vector<uint8_t> bytes;
  if (DataSet() == nullptr) return bytes;
  std::unique_ptr<TStream> stream =
      DataSet()->CreateBlobStream(const_cast<TBlobField&>(*this), TBlobStreamMode::bmRead);
  const int32_t size = stream->Size();
  bytes.resize(static_cast<size_t>(std::max(size, 0)));
  stream->Seek(0, 0);
  const int32_t got = bytes.empty() ? 0 : stream->Read(bytes.data(), size);
  bytes.resize(static_cast<size_t>(std::max(got, 0)));
  return bytes;
}

void TBlobField::SetBytes(std::span<const uint8_t> bytes) {
  if (DataSet() == nullptr) return;
  std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(*this, TBlobStreamMode::bmWrite);
  stream->SetSize(0);
  if (!bytes.empty()) stream->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

bool TBlobField::IsBlobNull() const { return Bytes().empty(); }

std::u16string TBlobField::AsString() const {
  const std::vector<uint8_t> bytes = Bytes();
  return platform::AnsiToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void TBlobField::SetAsString(std::u16string_view text) {
  const std::string bytes = platform::WideToAnsi(text);
  SetBytes(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

Variant TBlobField::AsVariant() const {
  const std::vector<uint8_t> bytes = Bytes();
  if (bytes.empty()) return Variant::Null();
  return Variant::FromString(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::u16string TBlobField::TextOf(bool displayText) const {
  if (!displayText || DataType() == ftMemo || DataType() == ftFmtMemo) return AsString();
  return u"(BLOB)";
}

}  // namespace qdx
