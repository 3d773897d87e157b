#include "platform/data_files.h"

#include <sys/mman.h>

#include <cerrno>

#include <cstring>
#include <new>
#include <utility>

namespace varnoke::platform {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

TFileImage::TFileImage(std::size_t size) : size_(size) {
  if (size < kHugePage) {
    heap_ = std::make_unique_for_overwrite<std::uint8_t[]>(size == 0 ? 1 : size);
    data_ = heap_.get();
    return;
  }
  const std::size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
  void* mapped =
      ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  ::madvise(mapped, length, MADV_HUGEPAGE);
  data_ = static_cast<std::uint8_t*>(mapped);
  mapped_ = length;
}

TFileImage::~TFileImage() {
  Release();
}

void TFileImage::Release() noexcept {
  if (mapped_ != 0) ::munmap(data_, mapped_);
  heap_.reset();
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

TFileImage::TFileImage(TFileImage&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)),
      heap_(std::move(other.heap_)) {}

TFileImage& TFileImage::operator=(TFileImage&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
    heap_ = std::move(other.heap_);
  }
  return *this;
}

bool TFileError::Missing() const noexcept {
  return Errno == ENOENT && Step == "open";
}

std::string TFileError::Describe() const {
  std::string text = "cannot " + Step + " " + Path + ": ";
  text += Errno != 0 ? std::strerror(Errno) : Detail;
  return text;
}

TFileError SystemFileError(std::string step, std::string path, int error) {
  return TFileError{std::move(step), std::move(path), error != 0 ? error : EIO, {}};
}

TFileError RefusedFile(std::string step, std::string path, std::string detail) {
  return TFileError{std::move(step), std::move(path), 0, std::move(detail)};
}

}  // namespace varnoke::platform
