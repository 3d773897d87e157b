// The settings hive's file format: REGEDIT4 text.
//
//   REGEDIT4
//
//   [HKEY_CLASSES_ROOT\Varnoke\Settings]
//   "Directory"="/opt/varnoke"
//   "ShowSplash"=dword:00000001
//   "Raw"=hex:01,02,03,04
//   "Other"=hex(7):41,00,00
//
// Strings escape "\" and '"' with a backslash; byte lists may go on over
// several lines, each but the last ending with "\"; lines starting with ";"
// are comments.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace varnoke::platform {

struct THiveParseError {
  int Line = 0;  // 1-based
  std::string Reason;
};

// Reads REGEDIT4 text into contents. Returns false, with error saying where
// and why, for text that is not a valid hive. An empty text is an empty
// hive.
bool ParseHive(std::string_view text, THiveContents& contents, THiveParseError& error);

// Writes contents as REGEDIT4 text that ParseHive reads back unchanged.
std::string FormatHive(const THiveContents& contents);

}  // namespace varnoke::platform
