// Saving the tree to the database file and loading it back.
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "db/crc32.h"
#include "db/database_image.h"
#include "db/memory_db.h"

namespace varnoke {
namespace {

constexpr std::string_view kCrcValue = "CRC32";
// Images from this size on have their CRC worked out on a thread of its own.
constexpr std::size_t kCheckBesideFrom = std::size_t{4} << 20;
// Images from this size on are parsed in two stretches at once.
constexpr std::size_t kSplitFrom = std::size_t{8} << 20;

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

bool TMemoryDB::LoadFromFile(const std::string& fileName) {
  std::lock_guard guard(Lock);
  const auto refuse = [&](TFileOutcome outcome, std::string reason) {
    fileReport_ = {outcome, std::move(reason)};
    return false;
  };
  if (scanning_) return refuse(TFileOutcome::Busy, "a drive scan is running");
  fileName_ = fileName;
  try {
    platform::TFileImage image;
    std::uint32_t stored = 0;
    TImageExtent extent;
    {
      // The file and its CRC are read under one lock that a saver takes
      // exclusively: both are then the same save's.
      const std::unique_ptr<platform::TFileLock> shared = dataFiles_.ShareLock(fileName);
      platform::TFileError error;
      if (!dataFiles_.ReadFile(fileName, image, error, &extent)) {
        if (error.Missing()) return refuse(TFileOutcome::Missing, error.Describe());
        return refuse(extent.Refused() ? TFileOutcome::Damaged : TFileOutcome::Unreadable,
                      error.Describe());
      }
      if (image.Size() == 0) return refuse(TFileOutcome::Damaged, "the file is empty");
      stored = settings_.ReadDWORDSetting(settings::SettingsKey, kCrcValue);
    }
    // The CRC is worked out beside the parse, on another core: the parse
    // never reads outside the image whatever it holds, and its tree is only
    // used once the CRC has matched.
    std::uint32_t crc = 0;
    std::unique_ptr<TDDList> tree;
    {
      std::jthread check;
      if (image.Size() >= kCheckBesideFrom && std::thread::hardware_concurrency() > 1) {
        try {
          check = std::jthread([&] { crc = StreamCRC32(image.Data(), image.Size()); });
        } catch (const std::system_error&) {
          // No thread to be had: the CRC is worked out below.
        }
      }
      if (!check.joinable()) crc = StreamCRC32(image.Data(), image.Size());
      tree = DecodeTree(image.Data(), image.Size(),
                        image.Size() >= kSplitFrom
                            ? std::span<const TImageLandmark>(extent.Landmarks())
                            : std::span<const TImageLandmark>());
    }
    if (crc != stored) {
      return refuse(TFileOutcome::Damaged, "the file does not match its checksum");
    }
    if (tree == nullptr) {
      return refuse(TFileOutcome::Damaged, "the file does not hold a well-formed tree");
    }
    tree->PrepareLookups();
    ddList_.swap(tree);
    ++treeGeneration_;
    twins_.Clear();
    ClearResults();
    treeFromEmptyScan_ = false;
    fileReport_ = {TFileOutcome::Loaded, {}};
    return true;
  } catch (const std::bad_alloc&) {
    return refuse(TFileOutcome::Unreadable, "there is not enough memory to load it");
  }
}

}  // namespace varnoke
