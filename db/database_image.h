// The database file's image: the tree as bytes, and back.
//
// All integers are 32-bit signed little-endian; there is no header:
//   DirectoryCount
//   per directory, in chain order:
//     NameLength, Name, ParentIndex (0 for a root, else 1-based position
//     in this file), FileCount, then per file in chain order NameLength, Name
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/ddlist.h"
#include "platform/data_files.h"

namespace varnoke {

// Names longer than this are not read back. A name of 255 bytes on the disk
// may grow by half when it is upper-cased; nothing this system stores comes
// near the limit.
inline constexpr std::int32_t kMaxImageNameLength = 1024;

// Where an image goes as it is made: called with its parts in order, each
// valid only during the call; false stops the encoding.
using TImageSink = std::function<bool(std::string_view part)>;

// How an encoding ended.
enum class TEncodeOutcome { Done, TooLarge, Stopped };

// Hands the image of list to sink in parts of a few megabytes, so that no
// copy of the whole image is ever held. TooLarge when the tree cannot be
// written in this format (more than 2^31 - 1 of something): the parts handed
// on until then are not an image. Stopped when sink returned false.
TEncodeOutcome EncodeTree(const TDDList& list, const TImageSink& sink);

// Where the record of an image's Directory-th directory (counted from 1)
// starts.
struct TImageLandmark {
  std::size_t Directory = 0;
  std::size_t Offset = 0;
};

// The tree an image holds, or null when the image is not one this system
// writes: a length, count or index out of range or running past the end,
// a name that is empty, too long or holds a NUL or "\", parents that form
// a loop, or bytes left over. Never reads outside the image. A load
// followed by a save reverses the order of each directory's files, as
// adding them puts each at the head of its chain. With landmarks (as
// TImageExtent found them in this image) the image is parsed in two
// stretches on two threads, split at the landmark nearest its middle; a
// landmark that is not where a record starts makes the image refused.
std::unique_ptr<TDDList> DecodeTree(const std::uint8_t* image, std::size_t size,
                                    std::span<const TImageLandmark> landmarks = {});

// Follows the counts and lengths of an image while the file is read, so
// that a file longer than the tree it describes (a huge sparse file, say)
// is refused after its first bytes rather than read whole. Accepts every
// prefix of an image that DecodeTree accepts.
class TImageExtent : public platform::TReadCheck {
 public:
  bool Plausible(const std::uint8_t* data, std::size_t size, std::string& detail) override;
  // True once Plausible has refused the file.
  bool Refused() const noexcept { return refused_; }
  // Where directory records start, one about every kLandmarkEvery bytes.
  const std::vector<TImageLandmark>& Landmarks() const noexcept { return landmarks_; }

 private:
  static constexpr std::size_t kLandmarkEvery = std::size_t{4} << 20;
  enum class TField { DirectoryCount, DirectoryName, Parent, FileCount, FileName, End };
  void NextDirectory() noexcept;

  TField next_ = TField::DirectoryCount;
  std::size_t position_ = 0;  // where the next field starts
  std::int64_t directoriesLeft_ = 0;
  std::int64_t filesLeft_ = 0;
  bool refused_ = false;
  std::size_t directoriesSeen_ = 0;
  std::size_t nextLandmark_ = 0;
  std::vector<TImageLandmark> landmarks_;
};

}  // namespace varnoke
