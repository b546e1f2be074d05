// Running parts of one piece of work on threads of their own (private to the library).
#pragma once

#include <cstddef>
#include <exception>
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

// RunParts for parts that may throw: once every part has returned, rethrows the failure of the
// first part, in part order, that failed.
template <class F>
void RunPartsRethrowing(std::size_t count, const F& run) {
  std::vector<std::exception_ptr> failed(count);
  RunParts(count, [&run, &failed](std::size_t part) {
    try {
      run(part);
    } catch (...) {
      failed[part] = std::current_exception();
    }
  });
  for (const std::exception_ptr& failure : failed) {
    if (failure) {
      std::rethrow_exception(failure);
    }
  }
}

}  // namespace varrowin
