#include <gtest/gtest.h>

#include <string>

#include "live/live_protocol.h"

namespace varnoke::live {
namespace {

std::optional<TLiveRequest> RoundTrip(const std::string& frame, std::string& problem) {
  const std::optional<std::size_t> length =
      RequestBodyLength(std::string_view(frame).substr(0, kRequestHeaderBytes));
  if (!length || *length != frame.size() - kRequestHeaderBytes) return std::nullopt;
  return DecodeRequestBody(std::string_view(frame).substr(kRequestHeaderBytes), problem);
}

TEST(LiveProtocolTest, RequestsSurviveTheWire) {
  std::string problem;
  for (const TLiveOrder order : {TLiveOrder::None, TLiveOrder::Name, TLiveOrder::Path}) {
    for (const bool count : {false, true}) {
      const TLiveRequest sent{"C:\\WIN DOWS\\*.INI", order, count, !count, count};
      const std::optional<TLiveRequest> got = RoundTrip(EncodeRequest(sent), problem);
      ASSERT_TRUE(got) << problem;
      EXPECT_EQ(got->Pattern, sent.Pattern);
      EXPECT_EQ(got->Order, order);
      EXPECT_EQ(got->CountOnly, count);
      EXPECT_EQ(got->WithTwins, !count);
      EXPECT_EQ(got->TellMissingFolder, count);
    }
  }
  // The longest pattern allowed passes; one byte more is refused by its header.
  EXPECT_TRUE(RoundTrip(EncodeRequest({std::string(kMaxPatternBytes, 'A')}), problem));
  EXPECT_FALSE(RoundTrip(EncodeRequest({std::string(kMaxPatternBytes + 1, 'A')}), problem));
}

TEST(LiveProtocolTest, TwinTextsCarryEachComponentsOrdinal) {
  constexpr std::uint32_t kSole = 0xFFFFFFFFu;
  std::vector<std::uint32_t> ordinals;
  bool isDirectory = false;
  EXPECT_EQ(EncodeTwins({}, false, kSole), "");
  const std::string text = EncodeTwins({kSole, 0, 12}, true, kSole);
  EXPECT_EQ(text, "ds,0,12");
  ASSERT_TRUE(DecodeTwins(text, kSole, ordinals, isDirectory));
  EXPECT_EQ(ordinals, (std::vector<std::uint32_t>{kSole, 0, 12}));
  EXPECT_TRUE(isDirectory);
  ASSERT_TRUE(DecodeTwins("f1", kSole, ordinals, isDirectory));
  EXPECT_FALSE(isDirectory);
  // A text that is not one of ours is no twin information at all.
  for (const char* bad : {"", "d", "x1", "f1,,2", "f1,", "f-1", "f9999999999", "fs,a"})
    EXPECT_FALSE(DecodeTwins(bad, kSole, ordinals, isDirectory)) << bad;
}

TEST(LiveProtocolTest, MalformedRequestsAreRefused) {
  std::string problem;
  EXPECT_FALSE(RequestBodyLength("XNFQ\x05\0\0\0"));
  EXPECT_FALSE(RequestBodyLength(std::string("VNFQ\xff\xff\xff\xff", 8)));
  EXPECT_FALSE(RequestBodyLength(std::string("VNFQ\x02\0\0\0", 8)));  // shorter than its fields
  EXPECT_FALSE(RequestBodyLength("VNFQ"));
  EXPECT_FALSE(DecodeRequestBody(std::string("\x02\0\0*", 4), problem));     // version
  EXPECT_FALSE(DecodeRequestBody(std::string("\x01\x03\0*", 4), problem));   // order
  EXPECT_FALSE(DecodeRequestBody(std::string("\x01\0\x08*", 4), problem));   // flags
  EXPECT_FALSE(DecodeRequestBody(std::string("\x01\0\0", 3), problem));      // no pattern
  EXPECT_FALSE(DecodeRequestBody(std::string("\x01\0\0A\0B", 6), problem));  // NUL inside
}

TEST(LiveProtocolTest, EndFrameCarriesLargeCounts) {
  const std::string frame = EndFrame(0x123456789ull);
  ASSERT_EQ(frame.size(), kAnswerHeaderBytes + 8);
  EXPECT_EQ(frame[0], kEndFrame);
  EXPECT_EQ(GetU32(frame.data() + 1), 8u);
  EXPECT_EQ(GetU64(frame.data() + kAnswerHeaderBytes), 0x123456789ull);
}

}  // namespace
}  // namespace varnoke::live
