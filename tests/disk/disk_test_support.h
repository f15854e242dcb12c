// Helpers of the disk page manager and free-space tests: a temporary folder per test, raw file
// access beside the engine's, an error matcher, and a page manager whose lock the test holds.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "tests/qdx_test_support.h"

namespace qdx::testing {

// A disk page manager used outside a database: the thread that creates it holds its critical
// section until it is destroyed, as a database's callers do.
class THeldDiskPageManager : public TQDXDiskPageManager {
 public:
  THeldDiskPageManager() { DatabaseLock().Enter(); }
  ~THeldDiskPageManager() override { DatabaseLock().Leave(); }
};

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qdx_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path = (dir_ / "test.qdx").string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::vector<uint8_t> ReadAll() const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // `count` bytes at `position` (fewer at the end of the file).
  std::vector<uint8_t> ReadAt(int64_t position, int64_t count) const {
    std::ifstream in(path, std::ios::binary);
    in.seekg(position);
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    in.read(reinterpret_cast<char*>(bytes.data()), count);
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
  }
  void WriteAll(const std::vector<uint8_t>& bytes) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  // Overwrites bytes of the file at `position`.
  void Patch(int64_t position, const std::vector<uint8_t>& bytes) const {
    std::vector<uint8_t> all = ReadAll();
    if (all.size() < position + bytes.size()) all.resize(position + bytes.size());
    std::copy(bytes.begin(), bytes.end(), all.begin() + position);
    WriteAll(all);
  }
  int64_t FileSize() const { return static_cast<int64_t>(std::filesystem::file_size(path)); }

  std::filesystem::path dir_;
  std::string path;
};

}  // namespace qdx::testing
