// Small reads of the file tree that the port helper's parts share.
#pragma once

#include <string>
#include <vector>

// The first line of a text file (sysfs and /proc attributes), empty when it cannot be read.
std::string FirstLine(const std::string& path);
// The path with every link followed, empty when it leads nowhere.
std::string ResolvedPath(const std::string& path);
// The names in a folder, sorted, without "." and "..", empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& path);
