// Where the device's sources put the reports they make.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnoke::driver {

class TReportSink {
 public:
  virtual ~TReportSink() = default;
  // One report: a code of the device protocol, its Info, and its paths in
  // drive form (newPath only for a rename).
  virtual void Report(std::uint32_t code, std::uint32_t info, std::string path,
                      std::string newPath = {}) = 0;
  // How many reports have been made so far.
  virtual std::uint64_t ReportCount() const = 0;
  // True when the program has handled the first count reports (applied
  // them to its tree and acknowledged them). Otherwise false, and the
  // source's OnWake runs once it has.
  virtual bool HandledUpTo(std::uint64_t count) = 0;
  // True once the device is being closed: long work is to end early.
  virtual bool Stopping() const { return false; }
  // True once the program has called the comparison of the walk at start
  // off (MONITOR_IOCTL_CATCH_UP).
  virtual bool ComparisonCalledOff() const { return false; }
};

// The names a scan records: not starting with "." and without a "\".
inline bool IsRecordedName(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.find('\\') == std::string_view::npos;
}

}  // namespace varnoke::driver
