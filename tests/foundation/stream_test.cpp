#include "engine/foundation/stream.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/file_stream.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/memory_stream.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/temporary_stream.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 1) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + seed);
  return bytes;
}

std::vector<uint8_t> Contents(TStream& stream) {
  std::vector<uint8_t> bytes(stream.Size());
  const int32_t position = stream.Position();
  stream.SetPosition(0);
  EXPECT_EQ(stream.Read(bytes.data(), static_cast<int32_t>(bytes.size())),
            static_cast<int32_t>(bytes.size()));
  stream.SetPosition(position);
  return bytes;
}

TEST(MemoryStreamTest, SizeRules) {
  TQDXMemoryStream stream;
  stream.SetSize(10);
  EXPECT_EQ(stream.Capacity(), 10);  // a first allocation takes exactly what is asked
  stream.SetSize(11);
  EXPECT_EQ(stream.Capacity(), 22);  // growing doubles the size asked for
  stream.SetPosition(11);
  stream.SetSize(5);
  EXPECT_EQ(stream.Capacity(), 22);  // shrinking keeps the capacity
  EXPECT_EQ(stream.Position(), 5);   // and lowers the position
  stream.SetSize(0);
  EXPECT_EQ(stream.Memory(), nullptr);
  const uint8_t three[3] = {1, 2, 3};
  stream.Write(three, 3);
  EXPECT_EQ(stream.Capacity(), 3);
}

TEST(MemoryStreamTest, SeekPastTheEnd) {
  TQDXMemoryStream stream;
  const auto data = Pattern(4);
  stream.Write(data.data(), 4);
  EXPECT_EQ(stream.Seek(10, soFromBeginning), 10);
  uint8_t byte = 0;
  EXPECT_EQ(stream.Read(&byte, 1), 0);
  EXPECT_EQ(stream.Write(&byte, 1), 1);
  EXPECT_EQ(stream.Size(), 11);
  EXPECT_EQ(stream.Seek(-1, soFromEnd), 10);
  EXPECT_EQ(stream.Seek(3, 7), 10);  // an unknown origin leaves the position
  // Offsets taken from a damaged file can be anything: the position stops at the 32-bit range
  // instead of overflowing, and nothing is read or written out there.
  const int32_t largest = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(stream.Seek(largest, soFromCurrent), largest);
  EXPECT_EQ(stream.Seek(largest, soFromEnd), largest);
  EXPECT_EQ(stream.Read(&byte, 1), 0);
  EXPECT_EQ(stream.Write(&byte, 1), 0);
  EXPECT_EQ(stream.Size(), 11);
}

TEST(MemoryStreamTest, WrapsAnExistingBlock) {
  void* block = QDXMemoryManager().GetMem(6);
  std::memcpy(block, "abcdef", 6);
  TQDXMemoryStream stream(block);
  EXPECT_EQ(stream.Size(), 6);
  EXPECT_EQ(Contents(stream), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
}

TEST(TemporaryStreamTest, SpillsOnlyPastTheThreshold) {
  const auto data = Pattern(kTemporaryStreamThreshold + 1);
  TQDXTemporaryStream stream;
  ASSERT_EQ(stream.Write(data.data(), kTemporaryStreamThreshold), kTemporaryStreamThreshold);
  EXPECT_TRUE(stream.InMemory());

  ASSERT_EQ(stream.Write(data.data() + kTemporaryStreamThreshold, 1), 1);
  EXPECT_FALSE(stream.InMemory());
  EXPECT_EQ(stream.Position(), kTemporaryStreamThreshold + 1);
  EXPECT_EQ(Contents(stream), data);
  EXPECT_NE(stream.TempFileName().find("/QDX"), std::string::npos);
  EXPECT_FALSE(platform::FileExists(stream.TempFileName()));  // deleted on close, nameless now
}

TEST(TemporaryStreamTest, MemoryOnlyNeverSpills) {
  const auto data = Pattern(kTemporaryStreamThreshold + 10);
  TQDXTemporaryStream stream(true);
  stream.Write(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_TRUE(stream.InMemory());
  EXPECT_EQ(Contents(stream), data);
}

TEST(StreamCopyTest, CopyFromCopiesARangeAndRestoresPositions) {
  TQDXMemoryStream source;
  const auto data = Pattern(1000);
  source.Write(data.data(), 1000);
  source.SetPosition(7);

  TQDXMemoryStream target;
  target.SetBlockSize(64);
  target.Write("junk", 4);
  target.SetPosition(2);
  std::vector<double> progress;
  target.SetOnProgress([&](TQDXStream&, double percent) { progress.push_back(percent); });

  target.CopyFrom(source, 300, 100);
  EXPECT_EQ(Contents(target), std::vector<uint8_t>(data.begin() + 100, data.begin() + 400));
  EXPECT_EQ(source.Position(), 7);
  EXPECT_EQ(target.Position(), 2);
  ASSERT_EQ(progress.size(), 2u + 5u);  // 0, one per block of 64, 100
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_DOUBLE_EQ(progress[1], 16.4);  // the source's position as a share of its size
}

TEST(StreamCopyTest, CopyOfNothingEmptiesTheTarget) {
  TQDXMemoryStream source;
  TQDXMemoryStream target;
  target.Write("abc", 3);
  std::vector<double> progress;
  target.SetOnProgress([&](TQDXStream&, double percent) { progress.push_back(percent); });
  target.CopyFrom(source, 0, 0);
  EXPECT_EQ(target.Size(), 0);
  EXPECT_EQ(progress, (std::vector<double>{0, 100}));
}

TEST(StreamCopyTest, SaveToStreamWritesAtTheTargetPosition) {
  TQDXMemoryStream source;
  source.Write("hello", 5);
  TQDXMemoryStream target;
  target.Write("ab", 2);
  source.SaveToStream(target);
  EXPECT_EQ(Contents(target), (std::vector<uint8_t>{'a', 'b', 'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(target.Position(), 2);
  EXPECT_EQ(source.Position(), 5);
}

TEST(StreamCopyTest, Failures) {
  TQDXMemoryStream source;
  source.Write("hello", 5);
  TQDXMemoryStream target;
  target.SetBlockSize(0);
  EXPECT_EQ(testing::QdxErrorCode([&] { target.CopyFrom(source, 5, 0); }), 10419);
  source.SetBlockSize(0);
  EXPECT_EQ(testing::QdxErrorCode([&] { source.SaveToStream(target); }), 10418);
  target.SetBlockSize(2);
  EXPECT_EQ(testing::QdxErrorCode([&] { target.CopyFrom(source, 6, 0); }),
            10148);             // one byte short
  EXPECT_EQ(target.Size(), 4);  // the two whole blocks copied so far stay
}

TEST(CheckedRoutinesTest, ShortTransfersRaiseTheCallersCode) {
  TQDXMemoryStream stream;
  stream.Write("abcd", 4);
  stream.SetPosition(2);
  uint8_t buffer[8];
  try {
    CheckedRead(buffer, 8, stream, msg::kReadDefNameLength);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 10166);
    EXPECT_EQ(e.Message(),
              "Cannot read from stream. Position = 2, Stream size = 4, Block size = 8, Bytes "
              "Read = 2 - Native error: 10166");
  }
  CheckedSeek(stream, msg::kSeekBlobDataStart, 100);  // a memory stream takes any position
  EXPECT_EQ(stream.Position(), 100);

  CheckedWriteValue<int32_t>(stream, -2, msg::kWriteDefCount);
  stream.SetPosition(100);
  EXPECT_EQ(CheckedReadValue<int32_t>(stream, msg::kReadDefCount), -2);
}

TEST(FileStreamTest, CreateOpenAndSetSize) {
  const std::string name = platform::TemporaryDirectory() + "/qdx_file_stream_test.bin";
  {
    TQDXFileStream stream(name, false, fmCreate);
    const auto data = Pattern(300);
    EXPECT_EQ(stream.Write(data.data(), 300), 300);
    stream.SetSize(100);
    EXPECT_EQ(stream.Size(), 100);
    EXPECT_EQ(stream.Position(), 100);
  }
  {
    TQDXFileStream stream(name, false, fmOpenRead);
    const auto data = Pattern(300);
    EXPECT_EQ(Contents(stream), std::vector<uint8_t>(data.begin(), data.begin() + 100));
    EXPECT_EQ(stream.Write("x", 1), 0);  // read-only: the system refuses, the stream answers 0
  }
  platform::DeleteFile(name);
  EXPECT_EQ(testing::QdxErrorCode([&] { TQDXFileStream(name, false, fmOpenReadWrite); }), 10105);
  EXPECT_EQ(testing::QdxErrorCode([&] { TQDXFileStream("/nonexistent-dir/x", false, fmCreate); }),
            10104);
}

}  // namespace
}  // namespace qdx
