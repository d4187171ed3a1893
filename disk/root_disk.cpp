#include "disk/root_disk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vornboot {

namespace {

// Device stacks are a few levels deep; a loop in a broken tree must end.
constexpr int kMaxDepth = 16;

std::string resolved(const std::string& path) {
  char* p = realpath(path.c_str(), nullptr);
  if (!p) return "";
  std::string out = p;
  std::free(p);
  return out;
}

std::string baseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(dir);
  }
  return names;
}

void collect(const std::string& node, int depth, std::vector<std::string>& out) {
  if (node.empty() || depth > kMaxDepth) return;
  const std::vector<std::string> slaves = entriesOf(node + "/slaves");
  if (!slaves.empty()) {
    for (const std::string& s : slaves) collect(resolved(node + "/slaves/" + s), depth + 1, out);
  } else if (exists(node + "/partition")) {
    out.push_back(baseName(node.substr(0, node.rfind('/'))));  // …/sda/sda1: the disk is sda
  } else {
    out.push_back(baseName(node));
  }
}

// The mount table escapes blanks, tabs, newlines and backslashes as \ooo.
std::string unescaped(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += char(std::strtol(digits.c_str(), nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// The source device of the last mount of "/" in a /proc/self/mountinfo file:
// "ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [OPTIONAL…] - TYPE SOURCE SUPER".
std::string rootSource(const std::string& mountInfo) {
  std::ifstream in(mountInfo);
  std::string line, source;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string w; fields >> w;) f.push_back(w);
    if (f.size() < 10 || unescaped(f[4]) != "/") continue;
    const auto dash = std::find(f.begin() + 6, f.end(), "-");
    if (f.end() - dash >= 3) source = unescaped(*(dash + 2));
  }
  return source;
}

// The sysfs directory of the device a mount source names: "/dev/sda2" or
// "/dev/mapper/root" (a link to ../dm-0) is looked up under the tree's /dev.
std::string nodeOfSource(const HostTree& tree, const std::string& source) {
  if (source.rfind("/dev/", 0) != 0) return "";  // "overlay", "rpool/ROOT": no block device
  const std::string inTree = resolved(tree.dev + source.substr(4));
  const std::string name = baseName(inTree.empty() ? source : inTree);
  return resolved(tree.sys + "/class/block/" + name);
}

}  // namespace

std::vector<std::string> wholeDisksUnder(const std::string& node) {
  std::vector<std::string> disks;
  collect(node, 0, disks);
  std::sort(disks.begin(), disks.end());
  disks.erase(std::unique(disks.begin(), disks.end()), disks.end());
  return disks;
}

std::string rootDiskPath(const HostTree& tree, unsigned major, unsigned minor) {
  std::string node;
  if (major != 0) {
    char link[64];
    std::snprintf(link, sizeof link, "/dev/block/%u:%u", major, minor);
    node = resolved(tree.sys + link);
  }
  if (node.empty()) node = nodeOfSource(tree, rootSource(tree.mountInfo));
  const std::vector<std::string> disks = wholeDisksUnder(node);
  return disks.empty() ? "" : "/dev/" + disks.front();
}

}  // namespace vornboot
