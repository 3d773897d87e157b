// Saving the tree to the database file and loading it back.
#include <new>
#include <optional>

#include "db/crc32.h"
#include "db/database_image.h"
#include "db/memory_db.h"
#include "db/pending_load.h"

namespace varnoke {
namespace {

constexpr std::string_view kCrcValue = "CRC32";

}  // namespace

bool TMemoryDB::SavedByLastScan() const {
  std::lock_guard guard(Lock);
  return savedByLastScan_;
}

TFileReport TMemoryDB::LastFileReport() const {
  std::lock_guard guard(Lock);
  return fileReport_;
}

bool TMemoryDB::SaveToFile() {
  std::lock_guard guard(Lock);
  const auto notSaved = [&](TFileOutcome outcome, std::string reason) {
    fileReport_ = {outcome, std::move(reason)};
    return false;
  };
  if (scanning_) {
    return notSaved(TFileOutcome::Busy, "a drive scan is running; its tree is not complete yet");
  }
  if (treeFromEmptyScan_) {
    return notSaved(TFileOutcome::NoDrive,
                    "the scan found no fixed drive, so the saved database was kept as it was");
  }
  try {
    platform::TFileError error;
    if (!dataFiles_.CanReplace(fileName_, error)) {
      return notSaved(TFileOutcome::NotSaved, error.Describe());
    }
    // The order makes every crash safe: the new file is complete and on the
    // disk before its CRC is stored, and only then takes the old one's
    // place. A crash in between leaves the old file with the new CRC, which
    // fails the check and makes the next start scan. The pending file's lock
    // keeps readers out from the CRC's change to the rename, so none reads
    // one file with the other's CRC.
    std::unique_ptr<platform::TPendingFile> file = dataFiles_.BeginReplace(fileName_, error);
    if (file == nullptr) return notSaved(TFileOutcome::NotSaved, error.Describe());
    // The image goes to the file part by part as it is made, its CRC worked
    // out on the way: no copy of the whole image is held.
    std::uint32_t crc = 0;
    const TEncodeOutcome encoded = EncodeTree(*ddList_, [&](std::string_view part) {
      crc = ExtendCRC32(crc, part.data(), part.size());
      return file->Write(part);
    });
    if (encoded == TEncodeOutcome::TooLarge) {
      return notSaved(TFileOutcome::NotSaved, "the tree is too large for the database file");
    }
    if (encoded != TEncodeOutcome::Done || !file->Flush()) {
      return notSaved(TFileOutcome::NotSaved, file->Error().Describe());
    }
    std::optional<std::uint32_t> oldCrc;
    try {
      oldCrc = settings_.ReadDWORDSetting(settings::SettingsKey, kCrcValue);
    } catch (const settings::ERegistry&) {
      // None yet (or unreadable): the write below says whether it matters.
    }
    settings_.WriteDWORDSetting(settings::SettingsKey, kCrcValue, crc);
    if (!file->Commit()) {
      // The old file still stands; with its own CRC back it loads as before.
      std::string reason = file->Error().Describe();
      if (oldCrc) {
        try {
          settings_.WriteDWORDSetting(settings::SettingsKey, kCrcValue, *oldCrc);
        } catch (const settings::ERegistry& e) {
          reason += "; the old file's checksum could not be put back: ";
          reason += e.what();
        }
      }
      return notSaved(TFileOutcome::NotSaved, reason);
    }
    fileReport_ = {TFileOutcome::Saved, {}};
    return true;
  } catch (const std::bad_alloc&) {
    return notSaved(TFileOutcome::NotSaved, "there is not enough memory to save it");
  } catch (const settings::ERegistry& e) {
    return notSaved(TFileOutcome::NotSaved, e.what());
  }
}

bool TMemoryDB::LoadFromFile(const std::string& fileName, TPendingLoad* pending) {
  std::lock_guard guard(Lock);
  if (scanning_) {
    fileReport_ = {TFileOutcome::Busy, "a drive scan is running"};
    return false;
  }
  fileName_ = fileName;
  TTreeRead read = pending != nullptr && pending->FileName() == fileName
                       ? pending->Take()
                       : ReadTreeFile(dataFiles_, settings_, fileName);
  if (read.Tree == nullptr) {
    fileReport_ = std::move(read.Report);
    return false;
  }
  ddList_.swap(read.Tree);
  ++treeGeneration_;
  twins_.Clear();
  ClearResults();
  treeFromEmptyScan_ = false;
  fileReport_ = {TFileOutcome::Loaded, {}};
  return true;
}

}  // namespace varnoke
