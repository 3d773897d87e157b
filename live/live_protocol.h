// The live search's wire format. A client sends one request frame and reads
// answer frames until the end frame; the server then closes.
//
// Request:  "VNFQ", u32 body length, body = u8 version, u8 order, u8 flags,
//           pattern bytes (the rest of the body).
// Answer:   frames of u8 kind, u32 payload length, payload:
//           'R' rows, each full path ended by NUL;
//           'F' the pattern's folder is not in the tree (asked for by a
//               flag; no rows follow, only the end frame);
//           'E' end, u64 number of rows; the answer is complete;
//           'X' refusal, a line of text saying why.
// Integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnoke::live {

// The path of the socket beside the single-instance one, in the user's
// private runtime folder, named for the settings hive: a program answers
// only the searches that would have read its own database file. Empty
// when the folder fails its checks (runtime_folder.h).
std::string LiveSocketName(std::string_view hivePath);

inline constexpr char kRequestMagic[4] = {'V', 'N', 'F', 'Q'};
inline constexpr std::uint8_t kProtocolVersion = 1;
inline constexpr std::size_t kRequestHeaderBytes = 8;
inline constexpr std::size_t kAnswerHeaderBytes = 5;
// Longer patterns are refused; no name or path in the tree comes near it.
inline constexpr std::size_t kMaxPatternBytes = 4096;
inline constexpr std::size_t kMaxRequestBody = 3 + kMaxPatternBytes;
// The largest answer frame either side sends or accepts.
inline constexpr std::size_t kMaxAnswerPayload = 1 << 20;

inline constexpr char kRowsFrame = 'R';
inline constexpr char kEndFrame = 'E';
inline constexpr char kNoFolderFrame = 'F';
inline constexpr char kRefusalFrame = 'X';

enum class TLiveOrder : std::uint8_t { None = 0, Name = 1, Path = 2 };

struct TLiveRequest {
  std::string Pattern;
  TLiveOrder Order = TLiveOrder::None;
  bool CountOnly = false;  // the end frame alone, no rows
  // Each row's path is followed by its twin text (EncodeTwins), so that
  // names that differ only in case on the disk are told apart.
  bool WithTwins = false;
  // A path-qualified pattern whose folder the tree does not hold is
  // answered with the no-folder frame, so that the client can say so.
  bool TellMissingFolder = false;
};

// The twin text of a row: empty when no component of its path has a twin;
// else 'd' (a directory row) or 'f', then one ordinal per component below
// the drive root, comma-separated, 's' for a component without a twin.
std::string EncodeTwins(const std::vector<std::uint32_t>& ordinals, bool isDirectory,
                        std::uint32_t soleName);
// The ordinals and kind of a twin text; false when it is empty or malformed.
bool DecodeTwins(std::string_view text, std::uint32_t soleName,
                 std::vector<std::uint32_t>& ordinals, bool& isDirectory);

// The whole request frame.
std::string EncodeRequest(const TLiveRequest& request);

// The body length a request header announces, or nothing when the header
// is not one of ours or announces more than kMaxRequestBody.
std::optional<std::size_t> RequestBodyLength(std::string_view header);

// The request in a body; nothing, with why in problem, when it is malformed.
std::optional<TLiveRequest> DecodeRequestBody(std::string_view body, std::string& problem);

// An answer frame's header for a payload of size bytes.
std::string AnswerHeader(char kind, std::size_t size);
// An end frame for this many rows.
std::string EndFrame(std::uint64_t rows);

void PutU32(std::string& out, std::uint32_t value);
std::uint32_t GetU32(const char* in) noexcept;
std::uint64_t GetU64(const char* in) noexcept;

}  // namespace varnoke::live
