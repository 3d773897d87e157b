#include "driver/device.h"

#include <linux/ioprio.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "driver/fanotify_source.h"
#include "driver/inotify_source.h"
#include "platform/config_paths.h"

namespace varnoke::driver {
namespace {

// How long a held-back half of a rename waits for its partner.
constexpr int kPartnerWaitMs = 20;

std::uint32_t ReadUint32(const void* in, std::uint32_t inSize) {
  std::uint32_t value = 0;
  if (in != nullptr && inSize >= sizeof value) std::memcpy(&value, in, sizeof value);
  return value;
}

bool WriteUint32(std::uint32_t value, void* out, std::uint32_t outSize,
                 std::uint32_t* bytesReturned) {
  if (out == nullptr || outSize < sizeof value) return false;
  std::memcpy(out, &value, sizeof value);
  if (bytesReturned != nullptr) *bytesReturned = sizeof value;
  return true;
}

// The reader lists directories only when nothing else wants the processor
// or the disk: the walk at start goes over every directory of the drives.
void LowerReaderPriority() {
  const sched_param idle{0};
  ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &idle);
  ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, static_cast<int>(::gettid()),
            IOPRIO_PRIO_VALUE(IOPRIO_CLASS_IDLE, 0));
}

}  // namespace

TVarnokeDevice::TVarnokeDevice(const TVxdHost& host)
    : host_(host), hive_(platform::DefaultHivePath()), map_(platform::DriveLinkFolder()) {}

TVarnokeDevice::~TVarnokeDevice() {
  Unregister();

  std::lock_guard guard(mutex_);
  records_.clear();
}

bool TVarnokeDevice::Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                             std::uint32_t outSize, std::uint32_t* bytesReturned) {
  if (bytesReturned != nullptr) *bytesReturned = 0;
  switch (code) {
    case MONITOR_IOCTL_REGISTER: {
      TCallback callback = nullptr;
      if (in == nullptr || inSize < sizeof callback) return false;
      std::memcpy(&callback, in, sizeof callback);
      if (callback == nullptr) {
        Unregister();
        return true;
      }
      return Register(callback);
    }
    case MONITOR_IOCTL_ACK:
      if (in == nullptr || inSize < sizeof(void*)) return false;
      {
        const void* record = nullptr;
        std::memcpy(&record, in, sizeof record);
        Acknowledge(record);
      }
      return true;
    case MONITOR_IOCTL_CATCH_UP:
      if (!reader_.joinable()) {
        options_.Compare = ReadUint32(in, inSize) != 0;
        return true;
      }
      // Once the walk runs, it can only be called off; the reader sees it
      // before its next listing.
      if (ReadUint32(in, inSize) != 0) return false;
      callOff_ = true;
      return true;
    case VXD_IOCTL_SELECT_SOURCE:
      if (reader_.joinable()) return false;
      requestedSource_ = ReadUint32(in, inSize);
      return requestedSource_ <= VXD_SOURCE_FANOTIFY;
    case VXD_IOCTL_PAUSE_READING:
      paused_ = ReadUint32(in, inSize) != 0;
      wake_.Wake();
      return true;
    case VXD_IOCTL_QUERY_SOURCE:
      return WriteUint32(activeSource_, out, outSize, bytesReturned);
    case VXD_IOCTL_WAIT_SETTLED:
      if (!reader_.joinable()) return false;
      return WriteUint32(WaitSettled(ReadUint32(in, inSize)), out, outSize, bytesReturned);
    case VXD_IOCTL_QUERY_UNWATCHED:
      return WriteUint32(unwatched_, out, outSize, bytesReturned);
    case VXD_IOCTL_LIMIT_WATCHES:
      if (reader_.joinable()) return false;
      options_.WatchLimit = ReadUint32(in, inSize);
      return true;
    case VXD_IOCTL_RELIST_PERIOD:
      if (reader_.joinable() || ReadUint32(in, inSize) == 0) return false;
      options_.RelistPeriodMs = ReadUint32(in, inSize);
      return true;
    default:
      return false;
  }
}

bool TVarnokeDevice::Register(TCallback callback) {
  if (reader_.joinable()) return false;  // one registration at a time
  std::vector<std::string> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root{letter, ':', '\\'};
    if (drives_.GetDriveType(root) == platform::TDriveType::Fixed) roots.push_back(root);
  }
  // fanotify sees the whole of each disk without a watch per directory, but
  // needs privileges; inotify works for everybody.
  std::unique_ptr<TChangeSource> source;
  if (requestedSource_ != VXD_SOURCE_INOTIFY) {
    source = std::make_unique<TFanotifySource>(*this, files_, drives_, mounts_, options_);
    activeSource_ = VXD_SOURCE_FANOTIFY;
    if (!source->Start(roots)) source.reset();
  }
  if (source == nullptr && requestedSource_ != VXD_SOURCE_FANOTIFY) {
    source = std::make_unique<TInotifySource>(*this, files_, options_);
    activeSource_ = VXD_SOURCE_INOTIFY;
    if (!source->Start(roots)) source.reset();
  }
  if (source == nullptr) {
    activeSource_ = VXD_SOURCE_AUTOMATIC;
    return false;
  }
  if (!wake_.Open()) return false;
  {
    std::lock_guard guard(mutex_);
    callback_ = callback;
    thread_ = host_.CurrentThread();
  }
  source_ = std::move(source);
  unwatched_ = static_cast<std::uint32_t>(source_->Unwatched());
  stopping_ = false;
  reader_ = std::thread([this] { ReadLoop(); });
  return true;
}

void TVarnokeDevice::Unregister() {
  if (reader_.joinable()) {
    stopping_ = true;
    wake_.Wake();
    reader_.join();
  }
  source_.reset();
  {
    // Nobody is left to answer a question.
    std::lock_guard guard(questionMutex_);
    questionsAnswered_ = questionsAsked_;
    answered_.notify_all();
  }
  std::lock_guard guard(mutex_);
  callback_ = nullptr;
  if (thread_ != nullptr) host_.ReleaseThread(thread_);
  thread_ = nullptr;
}

void TVarnokeDevice::ReadLoop() {
  LowerReaderPriority();
  // A walk asked for at registration starts from here.
  if (!paused_) source_->OnReadable();
  while (!stopping_) {
    const bool paused = paused_;
    pollfd fds[3] = {{wake_.Fd(), POLLIN, 0},
                     {paused ? -1 : source_->Fd(), POLLIN, 0},
                     {paused ? -1 : source_->TimerFd(), POLLIN, 0}};
    const int timeout = !paused && source_->HoldsEvents() ? kPartnerWaitMs : -1;
    const int ready = ::poll(fds, 3, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents & POLLIN) {
      wake_.Drain();
      if (stopping_) break;
      if (!paused_) source_->OnWake();
    }
    if (ready == 0) source_->OnQuiet();
    if (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) source_->OnReadable();
    if (fds[2].revents & POLLIN) {
      std::uint64_t expirations = 0;
      if (::read(fds[2].fd, &expirations, sizeof expirations) > 0) source_->OnTimer();
    }
    AnswerQuestion();
    unwatched_ = static_cast<std::uint32_t>(source_->Unwatched());
  }
}

std::uint32_t TVarnokeDevice::WaitSettled(std::uint32_t timeoutMs) {
  std::unique_lock lock(questionMutex_);
  const std::uint64_t question = ++questionsAsked_;
  wake_.Wake();
  const bool settled = answered_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                          [&] { return questionsAnswered_ >= question; });
  return settled ? 0 : std::max<std::uint32_t>(stillPending_, 1);
}

void TVarnokeDevice::AnswerQuestion() {
  {
    std::lock_guard guard(questionMutex_);
    if (questionsAsked_ == questionsAnswered_) return;
  }
  std::uint64_t asked = 0;
  {
    std::lock_guard guard(questionMutex_);
    asked = questionsAsked_;
  }
  // What the kernel has queued by now is read first, so that the answer
  // covers every change made before the question.
  if (!paused_) {
    source_->OnReadable();
    if (asked != questionsSeen_) source_->CatchUp();
  }
  questionsSeen_ = asked;
  const std::size_t pending = source_->Pending();
  // Asks to be woken by the last acknowledgement, when it is still to come.
  const bool handled = HandledUpTo(reported_);
  std::lock_guard guard(questionMutex_);
  stillPending_ = static_cast<std::uint32_t>(pending + (handled ? 0 : 1));
  if (stillPending_ != 0) return;
  questionsAnswered_ = asked;
  answered_.notify_all();
}

void TVarnokeDevice::Report(std::uint32_t code, std::uint32_t info, std::string path,
                            std::string newPath) {
  ++reported_;
  auto record = std::make_unique<TRecord>();
  record->path = std::move(path);
  record->newPath = std::move(newPath);
  record->event.Path = record->path.c_str();
  record->event.NewPath = record->newPath.c_str();
  record->event.Info = info;
  record->event.Code = code;
  std::lock_guard guard(mutex_);
  if (callback_ == nullptr || thread_ == nullptr) {
    CountHandled();
    return;
  }
  const void* address = &record->event;
  auto [it, added] = records_.emplace(address, std::move(record));
  if (host_.QueueApc(thread_, callback_, reinterpret_cast<std::uintptr_t>(address)) == 0) {
    records_.erase(it);
    CountHandled();
  }
}

void TVarnokeDevice::Acknowledge(const void* record) {
  std::lock_guard guard(mutex_);
  if (records_.erase(record) != 0) CountHandled();
}

void TVarnokeDevice::CountHandled() {
  // Reports are handled in the order they were made: the count reaches
  // each value once.
  if (++handled_ == wantHandled_) wake_.Wake();
}

bool TVarnokeDevice::HandledUpTo(std::uint64_t count) {
  // Two waits may be open (a round of listings, a question): the nearer
  // one is woken first, and each is asked again at every wake.
  const std::uint64_t want = wantHandled_;
  if (want <= handled_ || count < want) wantHandled_ = count;
  return handled_ >= count;
}

}  // namespace varnoke::driver
