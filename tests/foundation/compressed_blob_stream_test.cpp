#include "engine/foundation/compression/compressed_blob_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/memory_stream.h"
#include "tests/foundation/compression_test_data.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testdata::MixedText;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kBlock = 1000;  // small blocks keep the edge cases cheap

TQDXCompressedStreamDescriptor Descriptor(uint8_t algorithm, int mode, int32_t blockSize,
                                          int64_t start = 0) {
  TQDXCompressedStreamDescriptor d;
  d.Algorithm = algorithm;
  d.Mode = static_cast<uint8_t>(mode);
  d.BlockSize = blockSize;
  d.StartPosition = start;
  return d;
}

Bytes Contents(TQDXMemoryStream& stream) {
  return {stream.Memory(), stream.Memory() + stream.Size()};
}

void WriteAll(TStream& stream, const Bytes& data) {
  ASSERT_EQ(stream.Write(data.data(), static_cast<int32_t>(data.size())),
            static_cast<int32_t>(data.size()));
}

// Reads the whole value from the start in pieces of `chunk` bytes.
Bytes ReadAll(TStream& stream, int32_t chunk) {
  Bytes out;
  Bytes piece(static_cast<size_t>(chunk));
  stream.SetPosition(0);
  for (int32_t n; (n = stream.Read(piece.data(), chunk)) > 0;) {
    out.insert(out.end(), piece.begin(), piece.begin() + n);
  }
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CompressedStreamTest : public ::testing::Test {
 protected:
  std::unique_ptr<TQDXCompressedBLOBStream> Create(const TQDXCompressedStreamDescriptor& d) {
    return std::make_unique<TQDXCompressedBLOBStream>(underlying_, false, true, d);
  }
  std::unique_ptr<TQDXCompressedBLOBStream> Reopen(const TQDXCompressedStreamDescriptor& d,
                                                   bool lenient = false) {
    return std::make_unique<TQDXCompressedBLOBStream>(underlying_, lenient, false, d);
  }
  // A new zlib value of `data` in blocks of kBlock; answers its descriptor.
  TQDXCompressedStreamDescriptor MakeValue(const Bytes& data, int64_t start = 0) {
    auto stream = Create(Descriptor(kCompressionZlib, 6, kBlock, start));
    WriteAll(*stream, data);
    return stream->Descriptor();
  }
  TQDXCompressedBlockHeader HeaderAt(int64_t position) {
    return TQDXCompressedBlockHeader::Load(std::span<const uint8_t>(
        underlying_.Memory() + position, TQDXCompressedBlockHeader::kSize));
  }

  TQDXMemoryStream underlying_;
};

TEST(CompressedStreamDescriptorTest, Layout) {
  TQDXCompressedStreamDescriptor d;
  d.BlockSize = 0x01020304;
  d.BlockCount = 0x1112131415161718;
  d.UncompressedSize = 0x2122232425262728;
  d.StartPosition = 0x3132333435363738;
  d.Algorithm = 2;
  d.Mode = 9;
  uint8_t bytes[TQDXCompressedStreamDescriptor::kSize];
  std::memset(bytes, 0xEE, sizeof bytes);
  d.Store(bytes);
  const uint8_t expected[] = {0x04, 0x03, 0x02, 0x01, 0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12,
                              0x11, 0x28, 0x27, 0x26, 0x25, 0x24, 0x23, 0x22, 0x21, 0x38, 0x37,
                              0x36, 0x35, 0x34, 0x33, 0x32, 0x31, 0x02, 0x09, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
  EXPECT_EQ(TQDXCompressedStreamDescriptor::Load(bytes), d);
}

// Every algorithm and mode, on the sizes around a block boundary and on a multi-megabyte value
// in the mode's own block size; the value is written in uneven pieces, reopened from its
// descriptor and read back whole and at random places.
TEST_F(CompressedStreamTest, RoundTripsEveryAlgorithmAndMode) {
  const Bytes big = MixedText(1'700'000, 21);
  for (const uint8_t algorithm : {kCompressionZlib, kCompressionBzip}) {
    for (int mode = 1; mode <= 9; ++mode) {
      for (const int64_t size : {int64_t{0}, int64_t{1}, int64_t{kBlock}, int64_t{kBlock + 1},
                                 static_cast<int64_t>(big.size())}) {
        SCOPED_TRACE(::testing::Message()
                     << "algorithm " << int{algorithm} << " mode " << mode << " size " << size);
        const bool large = size > kBlock + 1;
        const int32_t blockSize = large ? 0 : kBlock;  // 0: the mode's block size
        const Bytes data(big.begin(), big.begin() + size);
        underlying_.SetSize(0);
        auto stream = Create(Descriptor(algorithm, mode, blockSize));
        for (size_t done = 0; done < data.size();) {
          const size_t piece = std::min<size_t>(data.size() - done, large ? 600'001 : 333);
          ASSERT_EQ(stream->Write(data.data() + done, static_cast<int32_t>(piece)),
                    static_cast<int32_t>(piece));
          done += piece;
        }
        const TQDXCompressedStreamDescriptor d = stream->Descriptor();
        const int32_t expectedBlockSize = large ? CompressionBlockSize(mode) : kBlock;
        EXPECT_EQ(d.BlockSize, expectedBlockSize);
        EXPECT_EQ(d.BlockCount, (size + expectedBlockSize - 1) / expectedBlockSize);
        EXPECT_EQ(d.UncompressedSize, size);
        EXPECT_EQ(ReadAll(*stream, 4096), data);

        auto reopened = Reopen(d);
        EXPECT_EQ(reopened->Size(), size);
        EXPECT_EQ(reopened->CompressedSize(), stream->CompressedSize());
        EXPECT_EQ(ReadAll(*reopened, large ? 1 << 20 : 7), data);
        if (large) {
          for (const int64_t at : {int64_t{0}, int64_t{expectedBlockSize} - 3, size - 10}) {
            Bytes piece(13);
            reopened->SetPosition(static_cast<int32_t>(at));
            const int32_t n = reopened->Read(piece.data(), 13);
            ASSERT_EQ(n, std::min<int64_t>(13, size - at));
            EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + n, data.begin() + at));
          }
        }
      }
    }
  }
}

// Algorithm 3 blocks go through the PPM coder like the others.
TEST_F(CompressedStreamTest, PpmValueRoundTrips) {
  const Bytes data = MixedText(4 * kBlock + 123, 8);
  TQDXCompressedBlockHeader probe;
  TQDXMemBlock probeOutput;
  if (!CompressBuffer(kCompressionPpm, 2, data, probe, probeOutput)) {
    GTEST_SKIP() << "the PPM coder refuses to code";
  }
  auto stream = Create(Descriptor(kCompressionPpm, 2, kBlock));
  WriteAll(*stream, Bytes(data.begin(), data.begin() + 1500));
  WriteAll(*stream, Bytes(data.begin() + 1500, data.end()));
  EXPECT_EQ(stream->BlockCount(), 5);
  EXPECT_EQ(ReadAll(*Reopen(stream->Descriptor()), 4000), data);
}

TEST_F(CompressedStreamTest, PlainValueLiesInTheUnderlyingStream) {
  const Bytes prefix(50, 0xAB);
  WriteAll(underlying_, prefix);
  auto stream = Create(Descriptor(kCompressionNone, 0, 0, 50));
  const Bytes data = MixedText(3000);
  WriteAll(*stream, data);
  EXPECT_EQ(stream->Size(), 3000);
  EXPECT_EQ(stream->CompressionRatio(), 0);
  EXPECT_EQ(Contents(underlying_), Concat(prefix, data));

  auto reopened = Reopen(stream->Descriptor());
  EXPECT_EQ(ReadAll(*reopened, 999), data);
  reopened->SetSize(10);
  EXPECT_EQ(underlying_.Size(), 60);
  EXPECT_EQ(ReadAll(*reopened, 999), Bytes(data.begin(), data.begin() + 10));
}

// Two full blocks and one byte: the third block holds the byte, the first two are untouched.
TEST_F(CompressedStreamTest, AppendAfterFullBlocksAddsABlock) {
  const Bytes data = MixedText(2 * kBlock);
  auto stream = Create(Descriptor(kCompressionZlib, 6, kBlock));
  WriteAll(*stream, data);
  ASSERT_EQ(stream->BlockCount(), 2);
  const Bytes before = Contents(underlying_);

  WriteAll(*stream, {'!'});
  EXPECT_EQ(stream->BlockCount(), 3);
  EXPECT_EQ(stream->BlockHeaders()[2].Header.UncompressedSize, 1);
  EXPECT_EQ(stream->BlockHeaders()[2].Position, static_cast<int64_t>(before.size()));
  const Bytes after = Contents(underlying_);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
  EXPECT_EQ(ReadAll(*stream, 5000), Concat(data, {'!'}));
}

// A partial last block is refilled and rewritten where it was; the rest goes to new blocks.
TEST_F(CompressedStreamTest, AppendRefillsThePartialLastBlockInPlace) {
  const Bytes first = MixedText(kBlock + 10, 1);
  const Bytes second = MixedText(kBlock + 20, 2);
  auto stream = Create(Descriptor(kCompressionBzip, 3, kBlock));
  WriteAll(*stream, first);
  const int64_t lastPosition = stream->BlockHeaders()[1].Position;
  const Bytes firstBlock(underlying_.Memory(), underlying_.Memory() + lastPosition);

  WriteAll(*stream, second);
  const auto& headers = stream->BlockHeaders();
  ASSERT_EQ(headers.Count(), 3);
  EXPECT_EQ(headers[1].Position, lastPosition);
  EXPECT_EQ(headers[1].Header.UncompressedSize, kBlock);
  EXPECT_EQ(HeaderAt(lastPosition), headers[1].Header);
  EXPECT_EQ(headers[2].Position, lastPosition + 20 + headers[1].Header.CompressedSize);
  EXPECT_EQ(headers[2].Header.UncompressedSize, 30);
  EXPECT_EQ(headers.FindByPosition(headers[2].Position), 2);
  EXPECT_EQ(headers.FindByPosition(lastPosition + 1), -1);
  EXPECT_TRUE(std::equal(firstBlock.begin(), firstBlock.end(), underlying_.Memory()));
  EXPECT_EQ(ReadAll(*Reopen(stream->Descriptor()), 333), Concat(first, second));
}

TEST_F(CompressedStreamTest, WritesInsideTheValueWriteNothing) {
  const TQDXCompressedStreamDescriptor d = MakeValue(MixedText(2500));
  auto stream = Reopen(d);
  const Bytes before = Contents(underlying_);
  for (const int32_t at : {0, 1200, 2499}) {
    stream->SetPosition(at);
    EXPECT_EQ(stream->Write("xyz", 3), 0) << at;
  }
  EXPECT_EQ(stream->Size(), 2500);
  EXPECT_EQ(stream->Position(), 2499);
  EXPECT_EQ(Contents(underlying_), before);
}

TEST_F(CompressedStreamTest, WritingPastTheEndFillsTheGapWithZeros) {
  const Bytes data = MixedText(700);
  auto stream = Create(Descriptor(kCompressionZlib, 1, kBlock));
  WriteAll(*stream, data);
  stream->SetPosition(3500);
  WriteAll(*stream, {'a', 'b'});
  EXPECT_EQ(stream->Size(), 3502);
  EXPECT_EQ(stream->Position(), 3502);
  EXPECT_EQ(stream->BlockCount(), 4);
  Bytes expected = data;
  expected.resize(3500, 0);
  expected.insert(expected.end(), {'a', 'b'});
  EXPECT_EQ(ReadAll(*Reopen(stream->Descriptor()), 640), expected);

  stream->SetSize(5000);  // SetSize extends with zeros as well, and leaves the position
  expected.resize(5000, 0);
  EXPECT_EQ(stream->Position(), 3502);
  EXPECT_EQ(ReadAll(*stream, 640), expected);
  EXPECT_EQ(stream->Descriptor().UncompressedSize, 5000);
}

// Truncating to a multiple of the block size only drops blocks from the count.
TEST_F(CompressedStreamTest, TruncatingToWholeBlocksRewritesNothing) {
  const Bytes data = MixedText(3 * kBlock + 400);
  auto stream = Reopen(MakeValue(data));
  const Bytes before = Contents(underlying_);
  stream->SetPosition(3000);
  stream->SetSize(2 * kBlock);
  EXPECT_EQ(stream->BlockCount(), 2);
  EXPECT_EQ(stream->Size(), 2 * kBlock);
  EXPECT_EQ(stream->Position(), 2 * kBlock);
  EXPECT_EQ(stream->Descriptor().BlockCount, 2);
  EXPECT_EQ(stream->Descriptor().UncompressedSize, 2 * kBlock);
  EXPECT_EQ(Contents(underlying_), before);
  EXPECT_EQ(ReadAll(*Reopen(stream->Descriptor()), 3000),
            Bytes(data.begin(), data.begin() + 2 * kBlock));
}

TEST_F(CompressedStreamTest, TruncatingInsideABlockRecompressesIt) {
  const Bytes data = MixedText(3 * kBlock + 400);
  auto stream = Reopen(MakeValue(data, 64));
  stream->SetSize(kBlock + 5);
  const auto& headers = stream->BlockHeaders();
  ASSERT_EQ(headers.Count(), 2);
  EXPECT_EQ(headers[1].Header.UncompressedSize, 5);
  EXPECT_EQ(underlying_.Size(), headers[1].Position + 20 + headers[1].Header.CompressedSize);
  EXPECT_EQ(HeaderAt(headers[1].Position), headers[1].Header);
  const Bytes kept(data.begin(), data.begin() + kBlock + 5);
  EXPECT_EQ(ReadAll(*stream, 3000), kept);
  auto reopened = Reopen(stream->Descriptor());
  EXPECT_EQ(ReadAll(*reopened, 3000), kept);
  // The value goes on growing from the new end.
  WriteAll(*reopened, {'z'});
  EXPECT_EQ(ReadAll(*Reopen(reopened->Descriptor()), 3000), Concat(kept, {'z'}));
}

// Damage to one block's header or data fails every read touching that block with the code of
// the check that sees it; the other blocks stay readable.
TEST_F(CompressedStreamTest, DamagedBlockFailsOnlyItsReads) {
  const Bytes data = MixedText(3 * kBlock, 4);
  const TQDXCompressedStreamDescriptor d = MakeValue(data);
  const int64_t second = Reopen(d)->BlockHeaders()[1].Position;
  const Bytes pristine = Contents(underlying_);
  const struct {
    int64_t offset;  // from the second block's header
    int32_t code;
  } damages[] = {{8, 10089}, {11, 10089}, {4, 10088}, {30, 10087}, {0, 10087}};
  for (const auto& damage : damages) {
    SCOPED_TRACE(damage.offset);
    std::copy(pristine.begin(), pristine.end(), underlying_.Memory());
    underlying_.Memory()[second + damage.offset] ^= 0x01;
    if (damage.offset == 0) {  // compressed size 0 would leave the header's distance wrong
      le::Store<int32_t>(underlying_.Memory() + second, 0);
    }
    auto stream = Reopen(d);
    Bytes piece(200);
    stream->SetPosition(100);
    EXPECT_EQ(stream->Read(piece.data(), 200), 200);
    stream->SetPosition(2500);
    EXPECT_EQ(stream->Read(piece.data(), 200), 200);
    EXPECT_TRUE(std::equal(piece.begin(), piece.end(), data.begin() + 2500));
    stream->SetPosition(1500);
    EXPECT_EQ(testing::QdxErrorCode([&] { stream->Read(piece.data(), 10); }), damage.code);
    stream->SetPosition(900);
    EXPECT_EQ(testing::QdxErrorCode([&] { stream->Read(piece.data(), 200); }), damage.code);
    Bytes whole(data.size());  // whole blocks decode straight into the caller's buffer
    stream->SetPosition(0);
    EXPECT_EQ(testing::QdxErrorCode([&] { stream->Read(whole.data(), 3 * kBlock); }), damage.code);
  }
}

TEST_F(CompressedStreamTest, OpeningChecksTheUnderlyingData) {
  const TQDXCompressedStreamDescriptor d = MakeValue(MixedText(2 * kBlock + 300));
  auto full = Reopen(d);
  const int64_t third = full->BlockHeaders()[2].Position;

  TQDXCompressedStreamDescriptor tooMany = d;
  tooMany.BlockCount = 5;
  EXPECT_EQ(testing::QdxErrorCode([&] { Reopen(tooMany); }), 10082);
  auto lenient = Reopen(tooMany, true);
  EXPECT_EQ(lenient->BlockCount(), 3);
  EXPECT_EQ(lenient->Descriptor().BlockCount, 3);
  EXPECT_EQ(lenient->Size(), 2 * kBlock + 300);

  underlying_.SetSize(static_cast<int32_t>(third + 10));  // the third header cut short
  EXPECT_EQ(testing::QdxErrorCode([&] { Reopen(d); }), 10082);
  EXPECT_EQ(Reopen(d, true)->Size(), 2 * kBlock);

  // A header whose distance would not move on is refused rather than looped on.
  for (const int64_t distance : {int64_t{3}, int64_t{-40}, INT64_MAX}) {
    le::Store<int64_t>(underlying_.Memory() + 12, distance);
    EXPECT_EQ(testing::QdxErrorCode([&] { Reopen(tooMany, true); }), 10083) << distance;
  }

  TQDXCompressedStreamDescriptor negative = d;
  negative.StartPosition = -1;
  EXPECT_EQ(testing::QdxErrorCode([&] { Reopen(negative); }), 10103);

  TQDXCompressedStreamDescriptor plain = Descriptor(kCompressionNone, 0, 0, 10);
  plain.UncompressedSize = underlying_.Size();
  EXPECT_EQ(testing::QdxErrorCode([&] { Reopen(plain); }), 10081);
  EXPECT_EQ(Reopen(plain, true)->Size(), underlying_.Size());
}

// A block header's compressed size beyond the underlying data is a short read, refused before a
// buffer of that size is asked for (a memory limit far below it shows that none was).
TEST_F(CompressedStreamTest, ACompressedSizePastTheDataIsRefusedBeforeAllocating) {
  const Bytes data = MixedText(2 * kBlock, 6);
  const TQDXCompressedStreamDescriptor d = MakeValue(data);
  const int64_t second = Reopen(d)->BlockHeaders()[1].Position;
  const int32_t stored = HeaderAt(second).CompressedSize;
  TQDXMemoryManager& manager = QDXMemoryManager();
  const int64_t oldLimit = manager.Limit();
  for (const int32_t size : {stored + 1, 0x10000000, 0x7FFFFFFF}) {
    SCOPED_TRACE(size);
    le::Store<int32_t>(underlying_.Memory() + second, size);
    auto stream = Reopen(d);
    Bytes piece(10);
    stream->SetPosition(kBlock + 5);
    manager.SetLimit(manager.Allocated() + (int64_t{16} << 20));
    const int32_t code = testing::QdxErrorCode([&] { stream->Read(piece.data(), 10); });
    manager.SetLimit(oldLimit);
    EXPECT_EQ(code, 10086);
    stream->SetPosition(5);  // the first block is still read
    EXPECT_EQ(stream->Read(piece.data(), 10), 10);
  }
}

TEST_F(CompressedStreamTest, NewStreamTakesTheBlockSizeOfItsMode) {
  WriteAll(underlying_, MixedText(100));
  TQDXCompressedStreamDescriptor d = Descriptor(kCompressionBzip, 5, 0, 100);
  d.BlockCount = 7;  // ignored for a new value
  auto stream = Create(d);
  EXPECT_EQ(stream->CompressionBlockSize(), 1048576);
  EXPECT_EQ(stream->Descriptor().BlockSize, 1048576);
  EXPECT_EQ(stream->Descriptor().BlockCount, 0);
  EXPECT_EQ(stream->Size(), 0);
}

TEST_F(CompressedStreamTest, TotalsAndRatio) {
  const Bytes data(5 * kBlock, 'A');
  auto stream = Reopen(MakeValue(data));
  int64_t compressed = 0;
  for (int64_t i = 0; i < stream->BlockCount(); ++i) {
    compressed += stream->BlockHeaders()[i].Header.CompressedSize;
  }
  EXPECT_EQ(stream->UncompressedSize(), 5 * kBlock);
  EXPECT_EQ(stream->CompressedSize(), compressed);
  EXPECT_DOUBLE_EQ(stream->CompressionRatio(), (1.0 - compressed / 5000.0) * 100.0);
  EXPECT_GT(stream->CompressionRatio(), 90.0);
  EXPECT_EQ(stream->StoredSize(), compressed + 20 * stream->BlockCount());
  EXPECT_EQ(stream->StoredSize(), underlying_.Size());
  stream->SetSize(0);
  EXPECT_EQ(stream->CompressedSize(), 0);
  EXPECT_EQ(stream->CompressionRatio(), 0.0);
}

TEST_F(CompressedStreamTest, InvalidSizes) {
  auto stream = Reopen(MakeValue(MixedText(1500)));
  EXPECT_EQ(testing::QdxErrorCode([&] { stream->SetSize(-1); }), 10098);
  EXPECT_EQ(stream->Size(), 1500);
  stream->SetPosition(-5);
  uint8_t byte;
  EXPECT_EQ(stream->Read(&byte, 1), 0);
  EXPECT_EQ(stream->Write(&byte, 1), 0);
}

}  // namespace
}  // namespace qdx
