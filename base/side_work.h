// SPDX-License-Identifier: MIT
#pragma once
// Work done beside this thread's own: on a thread of its own when one can
// be started, else here and now, so that a process at its limit of threads
// still finishes, one thing after another.
//
//   SideWork listing([&] { names = fs.listPlainFiles(dir).names; });
//   readRules();      // meanwhile, on this thread
//   listing.wait();   // `names` is ready; what the listing threw is thrown here
//
// However this thread leaves the scope, the work is waited for first: it may
// write into what the scope is about to destroy.

#include <functional>
#include <future>
#include <system_error>

namespace loom {

class SideWork {
 public:
  explicit SideWork(const std::function<void()>& work) {
    try {
      done_ = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
      std::promise<void> here;
      try {
        work();
        here.set_value();
      } catch (...) {
        here.set_exception(std::current_exception());
      }
      done_ = here.get_future();
    }
  }

  // Waits for the work, and throws what it threw.
  void wait() {
    if (done_.valid()) done_.get();
  }

 private:
  std::future<void> done_;  // one of std::async waits for its thread when destroyed
};

}  // namespace loom
