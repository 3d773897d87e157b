// Where the device's sources put the reports they make.
#pragma once

#include <cstdint>
#include <string>

namespace varnoke::driver {

class TReportSink {
 public:
  virtual ~TReportSink() = default;
  // One report: a code of the device protocol, its Info, and its paths in
  // drive form (newPath only for a rename).
  virtual void Report(std::uint32_t code, std::uint32_t info, std::string path,
                      std::string newPath = {}) = 0;
};

// The names a scan records: not starting with "." and without a "\".
inline bool IsRecordedName(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.find('\\') == std::string_view::npos;
}

}  // namespace varnoke::driver
