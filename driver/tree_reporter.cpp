#include "driver/tree_reporter.h"

#include <vector>

#include "platform/device_abi.h"

namespace varnoke::driver {

void ReportTree(platform::TLinuxFileSystem& files, TReportSink& sink, const std::string& drivePath,
                bool reportItself, const std::function<void(const std::string&)>& onDirectory) {
  std::string root = drivePath;
  if (root.empty() || root.back() != '\\') root.push_back('\\');
  if (reportItself) sink.Report(VXD_CODE_DIRECTORY, 0, root.substr(0, root.size() - 1));
  std::vector<std::string> pending{root};
  platform::TDirectoryListing listing;
  while (!pending.empty()) {
    const std::string directory = std::move(pending.back());
    pending.pop_back();
    if (onDirectory) onDirectory(directory);
    if (!files.ListDirectory(directory, false, listing)) continue;
    std::vector<std::string> below;
    for (std::size_t i = 0; i < listing.Size(); ++i) {
      const std::string_view name = listing.Name(i);
      if (!IsRecordedName(name)) continue;
      const std::string path = directory + std::string(name);
      if (listing.At(i).Attributes & platform::kFileAttributeDirectory) {
        sink.Report(VXD_CODE_DIRECTORY, 0, path);
        below.push_back(path + "\\");
      } else {
        sink.Report(VXD_CODE_CREATE, 0, path);
      }
    }
    // Depth first, in listing order.
    pending.insert(pending.end(), below.rbegin(), below.rend());
  }
}

}  // namespace varnoke::driver
