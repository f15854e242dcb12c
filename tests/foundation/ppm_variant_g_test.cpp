// The PPM coder must write exactly the bytes of PPMd variant G, so that stored blocks stay
// readable. An independent decoder of that variant proves it: `unar` reads variant G streams
// in the original program's .pmd files, so the coded bytes (without the engine's 4-byte
// header) are wrapped in that file's header and must unpack to the original input.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/foundation/compression/ppm/ppm_model.h"
#include "engine/foundation/compression/ppm/ppm_range_coder.h"
#include "engine/foundation/compression/ppm/ppm_sub_allocator.h"
#include "engine/foundation/compression/ppm_coder.h"
#include "engine/foundation/little_endian.h"
#include "tests/foundation/ppm_test_data.h"

namespace qdx {
namespace {

namespace fs = std::filesystem;

using ppm_test::Noise;
using ppm_test::Records;
using ppm_test::Text;

constexpr std::string_view kEntryName = "data";

bool UnarAvailable() {
  return std::system("command -v unar >/dev/null 2>&1") == 0;
}

// .pmd file header (16 bytes, little-endian), then the entry name, then the coded bytes:
//
//   offset size  field
//   0      4     magic 0x84ACAF8F
//   4      4     file attributes
//   8      2     info: (order - 1) | (memory MB - 1) << 4 | variant (6 = G) << 12
//   10     2     name length
//   12     2     time (DOS)
//   14     2     date (DOS)
std::vector<uint8_t> PmdFile(uint16_t info, std::span<const uint8_t> coded) {
  std::vector<uint8_t> file(16);
  le::Store<uint32_t>(file.data(), 0x84ACAF8Fu);
  le::Store<uint32_t>(file.data() + 4, 0x20);
  le::Store<uint16_t>(file.data() + 8, info);
  le::Store<uint16_t>(file.data() + 10, static_cast<uint16_t>(kEntryName.size()));
  le::Store<uint16_t>(file.data() + 12, 0x6000);  // 12:00
  le::Store<uint16_t>(file.data() + 14, 0x5821);  // 2024-01-01
  file.insert(file.end(), kEntryName.begin(), kEntryName.end());
  file.insert(file.end(), coded.begin(), coded.end());
  return file;
}

class PpmVariantGTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!UnarAvailable()) GTEST_SKIP() << "unar is not installed (scripts/setup installs it)";
    dir_ = fs::temp_directory_path() /
           ("qdx_ppm_unar_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // What unar unpacks from the variant G stream `coded` of the given order and memory.
  std::vector<uint8_t> Unar(std::span<const uint8_t> coded, uint16_t info) {
    const fs::path archive = dir_ / "in.pmd";
    const fs::path out = dir_ / "out";
    fs::remove_all(out);
    const std::vector<uint8_t> file = PmdFile(info, coded);
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    // unar's exit status is not used: it checks every .pmd entry against a fixed checksum and
    // reports a mismatch for any other file, after writing all it decoded.
    const std::string command =
        "unar -q -f -o '" + out.string() + "' '" + archive.string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
    std::ifstream in(out / kEntryName, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << "unar wrote no file";
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
};

TEST_F(PpmVariantGTest, UnarDecodesWhatWeCodeInEveryKindOfMode) {
  const struct {
    int mode;
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {1, "text", Text(50000)},       {2, "one byte", {0x7F}},
      {3, "records", Records(40000)}, {4, "empty", {}},
      {5, "text", Text(50000, 9)},    {6, "noise", Noise(6000, 4)},
      {7, "records", Records(30000)}, {8, "text", Text(30000, 2)},
      {9, "text", Text(50000, 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", " << c.name);
    std::vector<uint8_t> coded;
    ASSERT_TRUE(PpmCompressBuffer(c.bytes, c.mode, coded));
    const uint16_t info = le::Load<uint16_t>(coded.data());  // the same bits as our header
    EXPECT_EQ(Unar(std::span(coded).subspan(4), info), c.bytes);
  }
}

TEST_F(PpmVariantGTest, UnarFollowsTheRestartsAtTwoMegabytes) {
  // Order 2 in 2 MB (mode 1): noise fills the order-2 contexts quickly, so the model starts
  // over several times; unar must start over at the same bytes, and so must our decoder.
  const std::vector<uint8_t> input = Noise(250000, 21);
  const uint32_t memorySize = 2u << 20;
  std::vector<uint8_t> memory(ppm::PpmSubAllocator::BytesFor(memorySize));
  ppm::PpmSubAllocator allocator;
  allocator.Attach(memory.data(), memorySize);

  std::vector<uint8_t> coded(input.size() + input.size() / 20 + 50);
  ppm::PpmRangeEncoder encoder(coded);
  ppm::PpmModel encoding(allocator);
  encoding.Encode(input, 2, encoder);
  ASSERT_FALSE(encoder.overflowed());
  coded.resize(encoder.size());
  EXPECT_GE(encoding.RestartCount(), 3);

  ppm::PpmRangeDecoder decoder(coded);
  ppm::PpmModel decoding(allocator);
  std::vector<uint8_t> decoded;
  ASSERT_TRUE(decoding.Decode(decoder, 2, input.size(), decoded));
  EXPECT_EQ(decoding.RestartCount(), encoding.RestartCount());
  EXPECT_EQ(decoded, input);

  EXPECT_EQ(Unar(coded, 0x6011), input);
}

}  // namespace
}  // namespace qdx
