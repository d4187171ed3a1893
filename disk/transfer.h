#pragma once
// Completing a transfer that the operating system may do in parts: one read
// or write call may move fewer bytes than asked (a short transfer), or be
// interrupted by a signal before it moved any (EINTR on POSIX). A sector
// counts as written only when all of its bytes were.

#include <cstddef>

namespace vornboot {

/// What one call of a transfer step did.
struct TransferStep {
  long moved;        ///< bytes moved (> 0), 0 when nothing more can be moved, < 0 on an error
  bool interrupted;  ///< with moved < 0: the call was only interrupted and is repeated
};

/// Interrupted calls in a row after which a transfer gives up.
inline constexpr unsigned kMaxInterruptions = 100;

/// Moves `size` bytes by calls of `step(done)`, `done` being the count moved
/// so far: a short step is continued where it stopped, an interrupted one is
/// repeated. Returns the bytes moved in all: `size` on success, less when a
/// step moved nothing or failed (the step keeps its own error).
template <typename Step>
std::size_t transferAll(std::size_t size, Step step) {
  std::size_t done = 0;
  unsigned interruptions = 0;
  while (done < size) {
    const TransferStep r = step(done);
    if (r.moved > 0) {
      const std::size_t moved = std::size_t(r.moved);
      done += moved < size - done ? moved : size - done;
      interruptions = 0;
    } else if (r.moved < 0 && r.interrupted && ++interruptions <= kMaxInterruptions) {
      continue;
    } else {
      break;
    }
  }
  return done;
}

}  // namespace vornboot
