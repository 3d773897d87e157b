// Events, per-thread queues of asynchronous procedure calls, and the
// alertable wait that runs them.
//
// A thread's queued calls run only on that thread, and only while it waits
// alertably: WaitForSingleObjectEx with alertable set runs the calls queued
// for the calling thread, in order, and returns kWaitIoCompletion once the
// queue is empty, or returns kWaitObject0 as soon as the event is signalled,
// which it looks at before each call: the calls still queued then stay
// queued. Waiting threads sleep; nothing polls.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace varnoke::platform {

inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitIoCompletion = 0xC0;
inline constexpr std::uint32_t kWaitTimeout = 0x102;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

class TEvent;

// The routine of an asynchronous procedure call, with its one argument.
using TApcRoutine = void (*)(std::uintptr_t argument);

// The queue of asynchronous procedure calls of one thread. Obtained by the
// thread itself (CurrentApcThread) and handed to whoever queues calls for
// it; it lives while anyone holds it.
class TApcThread {
 public:
  TApcThread() = default;
  TApcThread(const TApcThread&) = delete;
  TApcThread& operator=(const TApcThread&) = delete;

 private:
  friend class TEvent;
  friend bool QueueUserAPC(TApcRoutine, const std::shared_ptr<TApcThread>&, std::uintptr_t);
  friend std::uint32_t WaitForSingleObjectEx(TEvent&, std::uint32_t, bool);

  struct TCall {
    TApcRoutine routine;
    std::uintptr_t argument;
  };

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TCall> calls_;  // Guarded by mutex_.
  bool signalled_ = false;   // an event it waits for was set; Guarded by mutex_.
};

// The calling thread's queue.
std::shared_ptr<TApcThread> CurrentApcThread();

// Appends a call to the thread's queue, from any thread. False when thread
// is null.
bool QueueUserAPC(TApcRoutine routine, const std::shared_ptr<TApcThread>& thread,
                  std::uintptr_t argument);

// An event: auto-reset (one wait consumes a Set) or manual-reset (it stays
// set until Reset).
class TEvent {
 public:
  TEvent(bool manualReset, bool initialState) : manual_(manualReset), set_(initialState) {}
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void Set();
  void Reset();

 private:
  friend std::uint32_t WaitForSingleObjectEx(TEvent&, std::uint32_t, bool);

  const bool manual_;
  std::mutex mutex_;
  bool set_;                          // Guarded by mutex_.
  std::vector<TApcThread*> waiters_;  // threads asleep in a wait on it; Guarded by mutex_.
};

// Waits until event is set (kWaitObject0), timeoutMs milliseconds have
// passed (kWaitTimeout; kInfinite never), or, when alertable, calls are
// queued for this thread: then it runs them all and returns
// kWaitIoCompletion. A routine that throws leaves the wait with its
// exception; the calls after it stay queued.
std::uint32_t WaitForSingleObjectEx(TEvent& event, std::uint32_t timeoutMs, bool alertable);

}  // namespace varnoke::platform
