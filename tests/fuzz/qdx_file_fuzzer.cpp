// The fuzz target over whole database files: each input is written to a file that `qdx check`
// and `qdx info` then read, in-process. Whatever the bytes, both must answer with status 0 or 1
// and a message; a crash, a sanitizer report, a hang or an answer of 2 (bad usage, which the
// target never gives) is a fault. Then the file is opened as the program opens it, read-only,
// and every table is walked in physical order and in the order of each of its indexes, with
// every BLOB value of every record read: an engine error is a fine answer, nothing else is.
// Last the file is opened for writing through the database component, and every table is
// edited through the table dataset in one transaction: a record appended, the first one
// changed, the last one deleted, each posted, and the transaction committed. The values come
// from the input's own bytes. Again any engine or dataset error is a fine answer.
//
// libFuzzer links this with its own main (scripts/fuzz, clang only); qdx_fuzz_replay links it
// with a main that runs it over the seed corpus, as a test.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "dataset/framework/binary_fields.h"
#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/platform/file.h"
#include "tests/buffered_cursor.h"
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

// Every record in the order of `indexID` (-1: physical), each BLOB value read.
void WalkRecords(qdx::testing::TBufferedCursor& cursor, int32_t indexID) {
  const qdx::TQDXFieldDefs& fields = cursor.Defs();
  cursor.Walk(indexID, [&] {
    for (int32_t f = 0; f < fields.Count(); ++f) {
      if (!fields.GetFieldDef(f).IsBlob()) continue;
      try {
        cursor.Table().GetBlobData(cursor, f);
      } catch (const qdx::EQDXException&) {
        // A damaged value is refused; the walk goes on.
      }
    }
    return true;
  });
}

void WalkTables(const std::string& path, const std::string& password) {
  qdx::TQDXDiskDatabaseData database(path);
  database.LockRetryCount = 1;
  database.LockRetryPause = 1;
  qdx::TQDXBaseSession session;
  session.ReadOnly = true;
  session.Password.Password = password;
  try {
    database.AddSession(session);
  } catch (const qdx::EQDXException&) {
    return;
  }
  try {
    std::vector<std::string> names;
    database.GetTableNames(names);
    for (const std::string& name : names) {
      try {
        qdx::testing::TBufferedCursor cursor(database, session, name);
        WalkRecords(cursor, -1);
        for (const int32_t id : cursor.IndexIDs()) WalkRecords(cursor, id);
      } catch (const qdx::EQDXException&) {
        // A damaged table is refused; the others are still walked.
      }
    }
  } catch (const qdx::EQDXException&) {
  }
  try {
    database.RemoveSession(session);
  } catch (const qdx::EQDXException&) {
  }
}

// Bytes for the values an edit writes, taken round and round from the input.
class TValueSource {
 public:
  explicit TValueSource(std::span<const uint8_t> input) : input_(input) {}

  std::vector<uint8_t> Take(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) {
      b = input_.empty() ? 0 : input_[next_ % input_.size()];
      next_ += 7;  // a stride that is no multiple of the usual field widths
    }
    return bytes;
  }

 private:
  std::span<const uint8_t> input_;
  size_t next_ = 0;
};

// Writes every data field of the record being edited: the native form of a plain field from
// the input's bytes, a short value into a BLOB field, now and then null.
void FillRecord(qdx::TQDXTable& table, TValueSource& values) {
  qdx::TFields& fields = table.Fields();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    qdx::TField& field = fields[i];
    if (field.ReadOnly()) continue;
    try {
      const std::vector<uint8_t> choice = values.Take(1);
      if ((choice[0] & 0x0F) == 0) {
        field.Clear();
      } else if (auto* blob = dynamic_cast<qdx::TBlobField*>(&field)) {
        blob->SetBytes(values.Take(choice[0] % 64));
      } else {
        field.SetData(values.Take(static_cast<size_t>(field.DataSize())));
      }
    } catch (const qdx::EFrameworkException&) {
      // A value the field refuses; the others are still written.
    }
  }
}

// With QDX_FUZZ_TRACE set, each refused edit step says why on stderr (to see how far the edits
// of a seed get).
void Trace(const char* step, const std::exception& e) {
  static const bool trace = std::getenv("QDX_FUZZ_TRACE") != nullptr;
  if (trace) std::fprintf(stderr, "qdx_file_fuzzer: %s refused: %s\n", step, e.what());
}

// One step of an edit; a refused step is cancelled and the next one still runs.
template <typename Step>
void TryStep(qdx::TQDXTable& table, const char* name, Step step) {
  try {
    step();
  } catch (const qdx::EFrameworkException& e) {
    Trace(name, e);
    try {
      table.Cancel();
    } catch (const qdx::EFrameworkException&) {
    }
  }
}

// One transaction per table: append, change the first record, delete the last, commit.
void EditTable(qdx::TQDXDatabase& database, const std::string& name, TValueSource& values) {
  qdx::TQDXTable table("FuzzTable");
  table.SetDatabaseName(database.DatabaseName());
  table.SetTableName(name);
  try {
    table.Open();
    database.StartTransaction();
  } catch (const qdx::EFrameworkException& e) {
    Trace("open", e);
    return;
  }
  TryStep(table, "append", [&] {
    table.Append();
    FillRecord(table, values);
    table.Post();
  });
  TryStep(table, "edit", [&] {
    table.First();
    if (table.Bof() && table.Eof()) return;
    table.Edit();
    FillRecord(table, values);
    table.Post();
  });
  TryStep(table, "delete", [&] {
    // Last leaves Eof set on the last record: only an empty table is at both ends.
    table.Last();
    if (!(table.Bof() && table.Eof())) table.Delete();
  });
  try {
    database.Commit();
  } catch (const qdx::EFrameworkException& e) {
    Trace("commit", e);
    try {
      if (database.InTransaction()) database.Rollback();
    } catch (const qdx::EFrameworkException&) {
    }
  }
  try {
    table.Close();
  } catch (const qdx::EFrameworkException&) {
  }
}

void EditTables(const std::string& path, const std::string& password,
                std::span<const uint8_t> input) {
  qdx::TQDXDatabase database("FuzzDatabase");
  database.SilentMode = true;
  database.Exclusive = true;
  database.Password = password;
  TValueSource values(input);
  try {
    database.SetDatabaseName("fuzz");
    database.SetDatabaseFileName(path);
    database.Open();
    std::vector<std::string> names;
    database.GetTableNames(names);
    for (const std::string& name : names) EditTable(database, name, values);
  } catch (const qdx::EFrameworkException& e) {
    Trace("connect", e);
  }
  try {
    database.Close();
  } catch (const qdx::EFrameworkException&) {
  }
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
  const std::string password = options.empty() ? std::string() : kFuzzPassword;
  WalkTables(path, password);
  EditTables(path, password, {data, size});
  ::unlink(path.c_str());
  return 0;
}
