// Parse speed and peak memory on generated configurations. The input is made
// on the fly, so the file size never shows in the memory figure; every case
// runs in a child process of its own, so that each peak is that case's.
//
//   parse_bench            all cases
//   parse_bench <case>     one case: comments, comment-line, entries-100000, ...

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "config/parser.h"
#include "disk/disk_device.h"

namespace vornboot {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// Serves `total` bytes (or until the generator gives nothing more) from a
// chunk that the generator refills when it is used up.
class GeneratedInput : public InputStream {
 public:
  GeneratedInput(std::uint64_t total, std::function<bool(std::string&)> generate)
      : total_(total), generate_(std::move(generate)) {}

  long read(char* buffer, std::size_t size) override {
    if (served_ >= total_) return 0;
    if (offset_ == chunk_.size()) {
      offset_ = 0;
      if (!generate_(chunk_) || chunk_.empty()) return 0;
    }
    std::size_t n = std::min<std::uint64_t>({size, chunk_.size() - offset_, total_ - served_});
    std::memcpy(buffer, chunk_.data() + offset_, n);
    offset_ += n;
    served_ += n;
    return long(n);
  }
  std::uint64_t served() const { return served_; }

 private:
  std::uint64_t total_;
  std::function<bool(std::string&)> generate_;
  std::string chunk_;
  std::size_t offset_ = 0;
  std::uint64_t served_ = 0;
};

// A chunk of about 64 KiB made of whole repetitions of `pattern`, served again
// and again.
std::function<bool(std::string&)> repeating(const std::string& pattern) {
  return [pattern](std::string& chunk) {
    if (chunk.empty()) {
      while (chunk.size() < 64 * 1024) chunk += pattern;
    }
    return true;
  };
}

std::function<bool(std::string&)> commentLines() {
  return repeating(
      "// The entries below boot the systems of this machine; keep them in order.\n"
      "\n"
      "    \t  \n"
      "/* A block comment\n   over two lines. */\n"
      "// short\n");
}

std::function<bool(std::string&)> oneCommentLine() {
  bool started = false;
  return [started](std::string& chunk) mutable {
    if (!started) {
      chunk.assign(64 * 1024, 'x');
      chunk[0] = chunk[1] = '/';
      started = true;
    } else if (chunk[0] == '/') {
      chunk[0] = chunk[1] = 'x';
    }
    return true;
  };
}

std::string password(unsigned i) {
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string out;
  do {
    out += kDigits[i % 36];
    i /= 36;
  } while (i);
  return out;
}

std::function<bool(std::string&)> entries(unsigned count) {
  unsigned next = 0;
  return [count, next](std::string& chunk) mutable {
    chunk.clear();
    if (next == 0) chunk += "map {\n  {0x07, 0x17}\n  {0x0C, 0x1C}\n}\n";
    while (next < count && chunk.size() < 64 * 1024) {
      chunk += "entry \"Entry " + std::to_string(next) + "\" {\n  password \"" + password(next) +
               "\"\n  disk 0 {\n    active 0\n    disable 1\n  }\n}\n";
      ++next;
    }
    return !chunk.empty();
  };
}

// A machine with one empty disk, so that `disk 0` blocks refer to a disk.
class OneDisk : public DiskSystem {
 public:
  DiskHandle open(unsigned diskNumber, OpenMode) override {
    return diskNumber == 0 ? 1 : kInvalidHandle;
  }
  bool readSector(DiskHandle, std::uint8_t* buffer, std::uint32_t) override {
    std::memset(buffer, 0, mbr::kSectorSize);
    return true;
  }
  bool writeSector(DiskHandle, const std::uint8_t*, std::uint32_t) override { return false; }
  void close(DiskHandle) override {}
  bool holdsSystemVolume(DiskHandle) override { return false; }
};

long peakKiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return -1;
  char line[256];
  long peak = -1;
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "VmHWM:", 6) == 0) peak = std::atol(line + 6);
  }
  std::fclose(status);
  return peak;
}

struct BenchCase {
  const char* name;
  std::uint64_t limit;
  std::function<std::function<bool(std::string&)>()> generator;
};

void runCase(const BenchCase& c) {
  GeneratedInput input(c.limit, c.generator());
  OneDisk machine;
  BootConfig config(machine);
  auto start = std::chrono::steady_clock::now();
  int result = parseConfiguration(config, input, Diagnostics(c.name, stderr));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double megabytes = double(input.served()) / 1e6;
  std::printf("%-16s %11llu bytes %8.3f s %9.1f MB/s  peak %7ld KiB  entries %zu  result %d\n",
              c.name, static_cast<unsigned long long>(input.served()), seconds, megabytes / seconds,
              peakKiB(), config.entries.size(), result);
  std::fflush(stdout);
}

int benchMain(int argc, char** argv) {
  const BenchCase cases[] = {
      {"comments", 64 * kMiB, commentLines},
      {"comment-line", 64 * kMiB, oneCommentLine},
      {"entries-100000", ~0ull, [] { return entries(100000); }},
      {"entries-200000", ~0ull, [] { return entries(200000); }},
  };
  for (const BenchCase& c : cases) {
    if (argc > 1 && std::strcmp(argv[1], c.name) != 0) continue;
    std::fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
      runCase(c);
      std::_Exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0 || !WIFEXITED(status)) {
      std::fprintf(stderr, "%s: the case did not complete\n", c.name);
      return 1;
    }
  }
  return 0;
}

}  // namespace
}  // namespace vornboot

int main(int argc, char** argv) {
  return vornboot::benchMain(argc, argv);
}
