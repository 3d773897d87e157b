#include "platform/runtime/alertable_wait.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace varnoke::platform {

std::shared_ptr<TApcThread> CurrentApcThread() {
  thread_local const std::shared_ptr<TApcThread> self = std::make_shared<TApcThread>();
  return self;
}

bool QueueUserAPC(TApcRoutine routine, const std::shared_ptr<TApcThread>& thread,
                  std::uintptr_t argument) {
  if (thread == nullptr || routine == nullptr) return false;
  {
    std::lock_guard guard(thread->mutex_);
    thread->calls_.push_back({routine, argument});
  }
  thread->wake_.notify_one();
  return true;
}

void TEvent::Set() {
  std::lock_guard guard(mutex_);
  set_ = true;
  // Waiters are woken with the event's lock held: a waiter leaves the list
  // only under that lock, so none of them can be gone meanwhile.
  for (TApcThread* waiter : waiters_) {
    {
      std::lock_guard waiterGuard(waiter->mutex_);
      waiter->signalled_ = true;
    }
    waiter->wake_.notify_one();
  }
}

void TEvent::Reset() {
  std::lock_guard guard(mutex_);
  set_ = false;
}

namespace {

// Takes the event if it is set; otherwise, when enlist is given, puts the
// waiter on its list, in the same step, so that a Set after this cannot be
// missed.
bool TryTake(bool manual, bool& set, std::vector<TApcThread*>* waiters, TApcThread* self) {
  if (set) {
    if (!manual) set = false;
    return true;
  }
  if (waiters != nullptr) waiters->push_back(self);
  return false;
}

}  // namespace

std::uint32_t WaitForSingleObjectEx(TEvent& event, std::uint32_t timeoutMs, bool alertable) {
  const std::shared_ptr<TApcThread> self = CurrentApcThread();
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (timeoutMs != kInfinite) {
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  }
  for (;;) {
    if (alertable) {
      bool ran = false;
      for (;;) {
        // The event is looked at before each call, not only once the queue
        // is empty: calls queued as fast as they run would otherwise keep a
        // set event unseen for as long as they keep coming.
        {
          std::lock_guard guard(event.mutex_);
          if (TryTake(event.manual_, event.set_, nullptr, nullptr)) return kWaitObject0;
        }
        TApcThread::TCall call{};
        {
          std::lock_guard guard(self->mutex_);
          if (self->calls_.empty()) break;
          call = self->calls_.front();
          self->calls_.pop_front();
        }
        call.routine(call.argument);
        ran = true;
      }
      if (ran) return kWaitIoCompletion;
    }
    {
      std::lock_guard guard(event.mutex_);
      if (TryTake(event.manual_, event.set_, &event.waiters_, self.get())) return kWaitObject0;
    }
    bool timedOut = false;
    {
      std::unique_lock lock(self->mutex_);
      const auto ready = [&] { return self->signalled_ || (alertable && !self->calls_.empty()); };
      if (deadline) {
        timedOut = !self->wake_.wait_until(lock, *deadline, ready);
      } else {
        self->wake_.wait(lock, ready);
      }
      self->signalled_ = false;
    }
    {
      std::lock_guard guard(event.mutex_);
      auto& waiters = event.waiters_;
      waiters.erase(std::remove(waiters.begin(), waiters.end(), self.get()), waiters.end());
      if (timedOut) {
        return TryTake(event.manual_, event.set_, nullptr, nullptr) ? kWaitObject0 : kWaitTimeout;
      }
    }
  }
}

}  // namespace varnoke::platform
