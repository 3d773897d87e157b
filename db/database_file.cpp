// Saving the tree to the database file and loading it back.
#include <new>

#include "db/crc32.h"
#include "db/database_image.h"
#include "db/memory_db.h"

namespace varnoke {
namespace {

constexpr std::string_view kCrcValue = "CRC32";

}  // namespace

bool TMemoryDB::SaveToFile() {
  std::lock_guard guard(Lock);
  try {
    if (!dataFiles_.CanReplace(fileName_)) return false;
    std::string image;
    if (!EncodeTree(*ddList_, image)) return false;
    const std::uint32_t crc = StreamCRC32(image.data(), image.size());
    // The order makes every crash safe: the new file is complete and on the
    // disk before its CRC is stored, and only then takes the old one's
    // place. A crash in between leaves the old file with the new CRC, which
    // fails the check and makes the next start scan.
    std::unique_ptr<platform::TPendingFile> file = dataFiles_.BeginReplace(fileName_);
    if (file == nullptr || !file->Write(image) || !file->Flush()) return false;
    settings_.WriteDWORDSetting(settings::SettingsKey, kCrcValue, crc);
    return file->Commit();
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const settings::ERegistry&) {
    return false;
  }
}

bool TMemoryDB::LoadFromFile(const std::string& fileName) {
  std::lock_guard guard(Lock);
  fileName_ = fileName;
  try {
    platform::TFileImage image;
    if (!dataFiles_.ReadFile(fileName, image) || image.Size() == 0) return false;
    const std::uint32_t crc = StreamCRC32(image.Data(), image.Size());
    if (crc != settings_.ReadDWORDSetting(settings::SettingsKey, kCrcValue)) return false;
    std::unique_ptr<TDDList> tree = DecodeTree(image.Data(), image.Size());
    if (tree == nullptr) return false;
    ddList_.swap(tree);
    ClearResults();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace varnoke
