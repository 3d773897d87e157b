#include "db/database_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace varnoke {
namespace {

std::string Encode(const TDDList& list) {
  std::string image;
  EXPECT_EQ(EncodeTree(list,
                       [&](std::string_view part) {
                         image.append(part);
                         return true;
                       }),
            TEncodeOutcome::Done);
  return image;
}

std::unique_ptr<TDDList> Decode(const std::string& image,
                                std::span<const TImageLandmark> landmarks = {}) {
  return DecodeTree(reinterpret_cast<const std::uint8_t*>(image.data()), image.size(), landmarks);
}

std::int32_t Int32At(const std::string& image, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(image.data() + at);
  return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

// Where each directory's record starts (index k - 1 for the k-th), read
// field by field as the format says.
std::vector<std::size_t> DirectoryOffsets(const std::string& image) {
  std::vector<std::size_t> offsets;
  std::size_t at = 4;
  for (std::int32_t k = Int32At(image, 0); k > 0; --k) {
    offsets.push_back(at);
    at += 4 + static_cast<std::size_t>(Int32At(image, at));  // name
    at += 4;                                                 // parent
    const std::int32_t files = Int32At(image, at);
    at += 4;
    for (std::int32_t f = 0; f < files; ++f)
      at += 4 + static_cast<std::size_t>(Int32At(image, at));
  }
  return offsets;
}

// A tree with parents before and after their children in the chain, empty
// directories and directories of many files.
std::unique_ptr<TDDList> RandomTree(std::mt19937& random, std::size_t directories,
                                    std::size_t files, std::size_t nameLength) {
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  auto tree = std::make_unique<TDDList>();
  TDDList& list = *tree;
  std::vector<TDirectoryRecord*> records;
  for (std::size_t k = 0; k < directories; ++k)
    records.push_back(list.AddDirectory("D" + std::to_string(k), nullptr));
  for (std::size_t k = 1; k < directories; ++k) {
    if (pick(5) != 0) list.SetParent(records[k], records[pick(directories)]);
  }
  std::vector<std::vector<std::string>> names(directories);
  for (std::size_t f = 0; f < files; ++f) {
    names[pick(directories) % (pick(3) == 0 ? 3 : directories)].push_back(
        "F" + std::to_string(f) + std::string(nameLength, 'X'));
  }
  for (std::size_t k = 0; k < directories; ++k) {
    std::vector<std::string_view> views(names[k].begin(), names[k].end());
    list.AddFiles(views, records[k]);
  }
  return tree;
}

TEST(DecodeTree, ParsingInTwoStretchesGivesTheSameTree) {
  std::mt19937 random(3);
  for (int round = 0; round < 20; ++round) {
    const std::unique_ptr<TDDList> tree =
        RandomTree(random, 2 + random() % 60, random() % 400, random() % 20);
    const std::string image = Encode(*tree);
    const std::unique_ptr<TDDList> whole = Decode(image);
    ASSERT_NE(whole, nullptr);
    const std::string expected = Encode(*whole);
    const std::vector<std::size_t> offsets = DirectoryOffsets(image);
    // Split before every directory but the first.
    for (std::size_t k = 2; k <= offsets.size(); ++k) {
      const TImageLandmark landmark{k, offsets[k - 1]};
      const std::unique_ptr<TDDList> split = Decode(image, {&landmark, 1});
      ASSERT_NE(split, nullptr) << "round " << round << " split before " << k;
      EXPECT_EQ(split->DirectoryCount(), whole->DirectoryCount());
      EXPECT_EQ(split->FileCount(), whole->FileCount());
      ASSERT_EQ(Encode(*split), expected) << "round " << round << " split before " << k;
      // The joined list goes on working as one: lookups and removals reach
      // records of both stretches.
      TDirectoryRecord* last = nullptr;
      for (TDirectoryRecord* d = split->FirstDirectory(); d != nullptr; d = d->Next())
        last = d;
      EXPECT_EQ(split->FindDirectory(last->Name(), last->Parent()), last);
      split->AddFile("NEW", last);
      split->RemoveDirectoryRecord(split->FirstDirectory());
      std::size_t chain = 0;
      for (const TDirectoryRecord* d = split->FirstDirectory(); d != nullptr; d = d->Next())
        ++chain;
      EXPECT_EQ(chain, split->DirectoryCount());
    }
  }
}

TEST(DecodeTree, ALandmarkOffTheRecordsRefusesTheImage) {
  std::mt19937 random(4);
  const std::unique_ptr<TDDList> tree = RandomTree(random, 20, 100, 5);
  const std::string image = Encode(*tree);
  const std::vector<std::size_t> offsets = DirectoryOffsets(image);
  for (const TImageLandmark landmark :
       {TImageLandmark{10, offsets[9] + 1}, TImageLandmark{10, offsets[10]},
        TImageLandmark{11, offsets[9]}}) {
    EXPECT_EQ(Decode(image, {&landmark, 1}), nullptr)
        << landmark.Directory << "@" << landmark.Offset;
  }
  // Landmarks that leave no directory on one side are not used.
  const TImageLandmark first{1, offsets[0]};
  EXPECT_NE(Decode(image, {&first, 1}), nullptr);
}

// The read check notes where records start, every few megabytes, on an
// image that comes in pieces as a file is read.
TEST(TImageExtent, LandmarksStandWhereDirectoryRecordsStart) {
  std::mt19937 random(5);
  const std::unique_ptr<TDDList> tree = RandomTree(random, 3000, 120'000, 40);
  const std::string image = Encode(*tree);
  ASSERT_GT(image.size(), std::size_t{5} << 20);
  TImageExtent extent;
  std::string detail;
  for (std::size_t read = 0; read < image.size();) {
    read = std::min(image.size(), read + 1 + random() % (std::size_t{1} << 20));
    ASSERT_TRUE(extent.Plausible(reinterpret_cast<const std::uint8_t*>(image.data()), read, detail))
        << detail;
  }
  const std::vector<std::size_t> offsets = DirectoryOffsets(image);
  ASSERT_GE(extent.Landmarks().size(), 2u);
  for (const TImageLandmark& landmark : extent.Landmarks()) {
    ASSERT_GE(landmark.Directory, 1u);
    ASSERT_LE(landmark.Directory, offsets.size());
    EXPECT_EQ(landmark.Offset, offsets[landmark.Directory - 1]);
  }
  const std::unique_ptr<TDDList> split = Decode(image, extent.Landmarks());
  ASSERT_NE(split, nullptr);
  EXPECT_EQ(Encode(*split), Encode(*Decode(image)));
}

TEST(EncodeTree, HandsTheImageOnInPartsAndStopsWhenRefused) {
  std::mt19937 random(6);
  const std::unique_ptr<TDDList> tree = RandomTree(random, 500, 200'000, 30);
  std::size_t parts = 0;
  std::string image;
  ASSERT_EQ(EncodeTree(*tree,
                       [&](std::string_view part) {
                         ++parts;
                         image.append(part);
                         return true;
                       }),
            TEncodeOutcome::Done);
  EXPECT_GT(parts, 1u);
  ASSERT_NE(Decode(image), nullptr);
  EXPECT_EQ(Decode(image)->FileCount(), tree->FileCount());
  parts = 0;
  EXPECT_EQ(EncodeTree(*tree, [&](std::string_view) { return ++parts < 1; }),
            TEncodeOutcome::Stopped);
  EXPECT_EQ(parts, 1u);
}

}  // namespace
}  // namespace varnoke
