#pragma once

// The configuration package as a folder of files, for people who copy it
// to a device by hand or look at the masks.

#include "files/ConfigPackage.h"

#include <functional>
#include <string>
#include <vector>

namespace korvex {

// True for the names a package folder holds: "config.txt", "compose.txt"
// and "det<N>.bmp".
bool IsPackageFileName(const std::string& name);

// What `folder` holds besides package files: other names, sub-folders,
// links and special files. Empty when the folder is missing or holds
// nothing but (an older) package.
std::vector<std::string> ForeignEntries(const std::string& folder);

// Writes one file of the package; raises when it cannot. The default
// flushes each file to the disk.
using PackageFileWriter = std::function<void(const std::string& path, const std::vector<uint8_t>& content)>;
void WritePackageFile(const std::string& path, const std::vector<uint8_t>& content);

// Makes `folder` hold exactly `entries`. The files are written into a new
// sibling folder, which then takes the place of the old one in one step
// (the old one is removed after), so a failure at any point, a full disk
// included, leaves the folder as it was and no new files behind. A missing
// folder is created (its parents too); a replaced one keeps its
// permissions; a link to a folder keeps pointing at the replaced folder.
// Raises, writing nothing, when the folder holds anything besides package
// files (ForeignEntries), or when an entry name is not a plain file name.
void WritePackageFolder(const std::vector<PackageEntry>& entries, const std::string& folder,
                        const PackageFileWriter& write = WritePackageFile);

} // namespace korvex
