// Fixed drives whose roots lie in another fixed drive's tree: a "d:" link
// into a folder of "c:", or two links to one folder. Each such folder is
// listed under one drive only, the one that the reports of changes inside it
// name (the drive with the longest root; at equal roots the first letter),
// so that it appears once and its one copy follows the disk.
#pragma once

#include <string>
#include <vector>

#include "platform/drives/linux_drives.h"

namespace varnoke::platform {

struct TDriveOverlap {
  char Letter = 0;         // the drive whose root the folder is
  char Holder = 0;         // the drive whose tree reaches it too
  std::string HolderPath;  // the folder in the holder's tree, "C:\HOME\DATA\"
  char Keeper = 0;         // the one that lists what the folder holds
};

// Every pair of fixed drives where one's root is in the other's tree.
std::vector<TDriveOverlap> FindDriveOverlaps(const TLinuxDrives& drives);

// For the user: "drive D: is the folder C:\HOME\DATA\; its contents are
// kept under D: only".
std::string DescribeDriveOverlap(const TDriveOverlap& overlap);

}  // namespace varnoke::platform
