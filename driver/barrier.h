// Marks in the stream of kernel events, made by the device itself.
//
// A file created in a private folder that the source watches comes back as
// an event at the place in the stream where it was made: everything read
// before it happened before it. The file's name is the mark's number, so
// that nothing else can pass for a mark. The folder (hidden, only the
// user's) is made at start and removed with everything in it at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace varnoke::driver {

class TBarrierFolder {
 public:
  TBarrierFolder() = default;
  ~TBarrierFolder();
  TBarrierFolder(const TBarrierFolder&) = delete;
  TBarrierFolder& operator=(const TBarrierFolder&) = delete;

  // Makes the folder inside parent; false when it cannot be made.
  bool Create(const std::string& parent);
  // Removes the folder; Valid() is false afterwards.
  void Remove();
  bool Valid() const { return folder_.Valid(); }
  const std::string& Path() const { return path_; }
  // A descriptor of the folder, for the source to watch.
  int Fd() const { return folder_.Get(); }

  // Places the next mark and returns its number; nothing when the file
  // could not be made.
  std::optional<std::uint64_t> Emit();
  // The number a mark's file name stands for; nothing for any other name.
  static std::optional<std::uint64_t> Number(std::string_view name);

  // Where the folder may be made, best first: the user's runtime folder,
  // the program's configuration folder, the temporary folder.
  static std::vector<std::string> Candidates();

 private:
  platform::TUniqueFd folder_;
  std::string path_;
  std::uint64_t next_ = 1;
};

}  // namespace varnoke::driver
