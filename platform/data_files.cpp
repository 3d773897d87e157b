#include "platform/data_files.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/large_memory.h"

namespace varnoke::platform {

TFileImage::TFileImage(std::size_t size) : size_(size) {
  if (size < kLargeFrom) {
    heap_ = std::make_unique_for_overwrite<std::uint8_t[]>(size == 0 ? 1 : size);
    data_ = heap_.get();
    return;
  }
  data_ = static_cast<std::uint8_t*>(MapLarge(size));
  mapped_ = size;
}

TFileImage::~TFileImage() {
  Release();
}

void TFileImage::Release() noexcept {
  if (mapped_ != 0) UnmapLarge(data_, mapped_);
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
