#include "db/pending_load.h"

#include <new>
#include <span>
#include <system_error>
#include <thread>

#include "db/crc32.h"
#include "db/database_image.h"

namespace varnoke {
namespace {

constexpr std::string_view kCrcValue = "CRC32";
// Images from this size on have their CRC worked out on a thread of its own.
constexpr std::size_t kCheckBesideFrom = std::size_t{4} << 20;
// Images from this size on are parsed in two stretches at once.
constexpr std::size_t kSplitFrom = std::size_t{8} << 20;

TTreeRead Refused(TFileOutcome outcome, std::string reason) {
  return {{outcome, std::move(reason)}, nullptr};
}

}  // namespace

TTreeRead ReadTreeFile(platform::TDataFiles& dataFiles, settings::TSettingsStore& settings,
                       const std::string& fileName) {
  try {
    platform::TFileImage image;
    std::uint32_t stored = 0;
    TImageExtent extent;
    {
      // The file and its CRC are read under one lock that a saver takes
      // exclusively: both are then the same save's.
      const std::unique_ptr<platform::TFileLock> shared = dataFiles.ShareLock(fileName);
      platform::TFileError error;
      if (!dataFiles.ReadFile(fileName, image, error, &extent)) {
        if (error.Missing()) return Refused(TFileOutcome::Missing, error.Describe());
        return Refused(extent.Refused() ? TFileOutcome::Damaged : TFileOutcome::Unreadable,
                       error.Describe());
      }
      if (image.Size() == 0) return Refused(TFileOutcome::Damaged, "the file is empty");
      stored = settings.ReadDWORDSetting(settings::SettingsKey, kCrcValue);
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
      return Refused(TFileOutcome::Damaged, "the file does not match its checksum");
    }
    if (tree == nullptr) {
      return Refused(TFileOutcome::Damaged, "the file does not hold a well-formed tree");
    }
    tree->PrepareLookups();
    return {{TFileOutcome::Loaded, {}}, std::move(tree)};
  } catch (const std::bad_alloc&) {
    return Refused(TFileOutcome::Unreadable, "there is not enough memory to load it");
  }
}

TPendingLoad::TPendingLoad(const TDatabaseServices& services, std::string fileName)
    : fileName_(std::move(fileName)) {
  const auto read = [&dataFiles = services.DataFiles, &settings = services.Settings,
                     fileName = fileName_] { return ReadTreeFile(dataFiles, settings, fileName); };
  try {
    result_ = std::async(std::launch::async, read);
  } catch (const std::system_error&) {
    result_ = std::async(std::launch::deferred, read);  // read by Take
  }
}

TTreeRead TPendingLoad::Take() {
  return result_.get();
}

}  // namespace varnoke
