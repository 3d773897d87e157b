#include "tools/varnoke-find/text_progress.h"

namespace varnoke::find {

TTextProgress::TTextProgress(std::FILE* out, bool show, const std::atomic<bool>& cancel,
                             std::atomic<bool>& cancelScan)
    : out_(out), show_(show), cancel_(cancel), cancelScan_(cancelScan) {}

void TTextProgress::ProcessMessages() {
  ++entries_;
  if (cancel_.load(std::memory_order_relaxed)) cancelScan_ = true;
  // The scan asks before every entry: look at the clock only now and then.
  if (!show_ || (entries_ & 4095) != 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ >= std::chrono::milliseconds(200)) Draw(now);
}

void TTextProgress::Draw(std::chrono::steady_clock::time_point now) {
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(entries_) / seconds : 0;
  std::fprintf(out_, "\r\033[Kscanning: %3d%%  %lld entries  %.0f entries/s", position_, entries_,
               rate);
  std::fflush(out_);
  drawn_ = true;
}

void TTextProgress::Finish() {
  if (!drawn_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
}

}  // namespace varnoke::find
