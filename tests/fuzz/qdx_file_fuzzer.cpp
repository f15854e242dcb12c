// The fuzz target over whole database files: each input is written to a file that `qdx check`
// and `qdx info` then read, in-process. Whatever the bytes, both must answer with status 0 or 1
// and a message; a crash, a sanitizer report, a hang or an answer of 2 (bad usage, which the
// target never gives) is a fault.
//
// libFuzzer links this with its own main (scripts/fuzz, clang only); qdx_fuzz_replay links it
// with a main that runs it over the seed corpus, as a test.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/foundation/platform/file.h"
#include "tools/qdx/qdx_commands.h"

namespace {

// The password an encrypted seed is created with; other passwords meet the password check.
constexpr const char* kFuzzPassword = "fuzz";
// The header's Encrypted byte.
constexpr size_t kEncryptedOffset = 43;

const std::string& InputPath() {
  static const std::string path = qdx::platform::TemporaryDirectory() + "/qdx_fuzz_" +
                                  std::to_string(::getpid()) + ".qdx";
  return path;
}

void RunCommand(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = qdx::tools::RunQdx(args, out, err);
  if (status != qdx::tools::kExitSuccess && status != qdx::tools::kExitDatabaseError) {
    std::abort();
  }
  // A refusal always says why.
  if (status == qdx::tools::kExitDatabaseError && err.str().rfind("qdx: ", 0) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = InputPath();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::vector<std::string> options;
  if (size > kEncryptedOffset && data[kEncryptedOffset] != 0) {
    options = {"--password", kFuzzPassword};
  }
  for (const char* command : {"check", "info"}) {
    std::vector<std::string> args = {command, path};
    args.insert(args.end(), options.begin(), options.end());
    RunCommand(args);
  }
  ::unlink(path.c_str());
  return 0;
}
