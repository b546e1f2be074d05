// Running parts of one piece of work on threads of their own (private to the library).
#pragma once

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace varrowin {

// Calls run(0), ..., run(count - 1): run(0) on this thread, each other part on a thread of its
// own, or on this thread when no thread is to be had. Returns once every part has returned. run
// must not throw: a part keeps its own failure for the caller to look at afterwards.
template <class F>
void RunParts(std::size_t count, const F& run) {
  std::vector<std::jthread> workers;
  workers.reserve(count > 0 ? count - 1 : 0);
  for (std::size_t part = 1; part < count; ++part) {
    try {
      workers.emplace_back(run, part);
    } catch (const std::system_error&) {
      run(part);
    }
  }
  if (count > 0) {
    run(0);
  }
}

}  // namespace varrowin
