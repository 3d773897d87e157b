// Feeds arbitrary bytes to the database loader as memdb.dat, with a
// "CRC32" setting that always matches, so that every input reaches the
// parser. A tree that loads must be usable throughout and save to a file
// that loads again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "db/crc32.h"
#include "db/memory_db.h"
#include "tests/support/test_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnoke;
  testing::TTestHost host;
  host.dataFiles.files["memdb.dat"].assign(reinterpret_cast<const char*>(data), size);
  host.settings.WriteDWORDSetting(settings::SettingsKey, "CRC32", StreamCRC32(data, size));
  TMemoryDB db(host.Services());
  if (!db.LoadFromFile("memdb.dat")) return 0;

  for (const char* pattern : {"*", ".*", "C:\\*", "*.*"}) {
    db.Search(pattern);
    for (int i = 0; i < db.ResultCount(); ++i) {
      db.ResultFullPath(i);
      db.ResultDirectory(i);
    }
    db.SortByPath();
    db.SortByName();
  }
  if (!db.SaveToFile()) __builtin_trap();
  TMemoryDB again(host.Services());
  if (!again.LoadFromFile("memdb.dat")) __builtin_trap();
  if (again.DDList().DirectoryCount() != db.DDList().DirectoryCount() ||
      again.DDList().FileCount() != db.DDList().FileCount()) {
    __builtin_trap();
  }
  return 0;
}
