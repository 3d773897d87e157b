// A counter a thread polls beside its other descriptors, so that another
// thread can wake it: to stop, or to look at work it was handed.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/unique_fd.h"

namespace varnoke::platform {

class TWakeCounter {
 public:
  // Whether the counter could be made.
  bool Open() {
    fd_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    return fd_.Valid();
  }
  void Close() { fd_.Reset(); }
  bool Valid() const { return fd_.Valid(); }
  // What to poll for POLLIN; -1 while closed, which poll() passes over.
  int Fd() const { return fd_.Get(); }

  void Wake() const {
    const std::uint64_t one = 1;
    if (fd_.Valid() && ::write(fd_.Get(), &one, sizeof one) < 0) {
      // The counter is full, so the thread is awake already.
    }
  }
  // Takes the wakes so far, so that the next poll waits again.
  void Drain() const {
    std::uint64_t count = 0;
    if (::read(fd_.Get(), &count, sizeof count) < 0) {
      // Nothing was pending after all.
    }
  }

 private:
  TUniqueFd fd_;
};

}  // namespace varnoke::platform
