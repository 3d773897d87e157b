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
      const TLiveRequest sent{"C:\\WIN DOWS\\*.INI", order, count};
      const std::optional<TLiveRequest> got = RoundTrip(EncodeRequest(sent), problem);
      ASSERT_TRUE(got) << problem;
      EXPECT_EQ(got->Pattern, sent.Pattern);
      EXPECT_EQ(got->Order, order);
      EXPECT_EQ(got->CountOnly, count);
    }
  }
  // The longest pattern allowed passes; one byte more is refused by its header.
  EXPECT_TRUE(RoundTrip(EncodeRequest({std::string(kMaxPatternBytes, 'A')}), problem));
  EXPECT_FALSE(RoundTrip(EncodeRequest({std::string(kMaxPatternBytes + 1, 'A')}), problem));
}

TEST(LiveProtocolTest, MalformedRequestsAreRefused) {
  std::string problem;
  EXPECT_FALSE(RequestBodyLength("XNFQ\x05\0\0\0"));
  EXPECT_FALSE(RequestBodyLength(std::string("VNFQ\xff\xff\xff\xff", 8)));
  EXPECT_FALSE(RequestBodyLength(std::string("VNFQ\x02\0\0\0", 8)));  // shorter than its fields
  EXPECT_FALSE(RequestBodyLength("VNFQ"));
  EXPECT_FALSE(DecodeRequestBody(std::string("\x02\0\0*", 4), problem));     // version
  EXPECT_FALSE(DecodeRequestBody(std::string("\x01\x03\0*", 4), problem));   // order
  EXPECT_FALSE(DecodeRequestBody(std::string("\x01\0\x02*", 4), problem));   // flags
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
