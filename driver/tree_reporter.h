// Walking a directory the device has just come to know (created, moved in,
// or found again after an overflow) and reporting what is in it.
#pragma once

#include <functional>
#include <string>

#include "driver/report_sink.h"
#include "platform/linux_file_system.h"

namespace varnoke::driver {

// Reports the creation of the directory at drivePath (when reportItself),
// then of every file and directory below it that a scan would record,
// parents before children. onDirectory runs for each directory, the first
// one included, before its entries are reported (a source adds its watch
// there, so that nothing made meanwhile goes unseen).
void ReportTree(platform::TLinuxFileSystem& files, TReportSink& sink, const std::string& drivePath,
                bool reportItself, const std::function<void(const std::string&)>& onDirectory);

}  // namespace varnoke::driver
