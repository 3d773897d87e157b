// The test-only control codes of fake.vxd.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t kFakeInject = 0x8190;              // in: TFakeReport
inline constexpr std::uint32_t kFakeQuery = 0x8191;               // out: TFakeStatus
inline constexpr std::uint32_t kFakeRefuseRegistration = 0x8192;  // in: one byte, 1 or 0

struct TFakeReport {
  std::uint32_t Code;
  std::uint32_t Info;
  char Path[512];
  char NewPath[512];
};

struct TFakeStatus {
  std::uint32_t Acknowledged;
  std::uint32_t Registered;
  std::uint32_t Outstanding;
};
