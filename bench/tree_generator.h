// Builds a synthetic tree shaped like a real disk: directories a few levels
// deep, names of 8 to 30 bytes, a realistic mix of extensions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace varnoke::bench {

struct TGeneratedDirectory {
  std::string Name;
  std::size_t Parent;  // index of the parent; the root (index 0) has itself
  std::vector<std::string> Files;
  std::vector<std::size_t> Children;
};

class TTreeGenerator {
 public:
  explicit TTreeGenerator(std::uint32_t seed) : random_(seed) {}

  // Directory 0 is the drive root "C:"; the directories directly below it
  // are D1, D2, ... so that patterns can name them.
  std::vector<TGeneratedDirectory> Generate(std::size_t directories, std::size_t files) {
    std::vector<TGeneratedDirectory> tree(directories);
    tree[0].Name = "C:";
    tree[0].Parent = 0;
    constexpr std::size_t kTopLevel = 20;
    for (std::size_t i = 1; i < directories; ++i) {
      // A parent drawn uniformly from the directories so far gives paths
      // about ten levels deep on average, with a long tail of deeper ones.
      const std::size_t parent = i <= kTopLevel ? 0 : 1 + Pick(i - 1);
      tree[i].Parent = parent;
      tree[i].Name = parent == 0 ? "D" + std::to_string(i) : Word(4, 16);
      tree[parent].Children.push_back(i);
    }
    for (std::size_t f = 0; f < files; ++f) {
      tree[Pick(directories)].Files.push_back(FileName());
    }
    return tree;
  }

  std::string FileName() {
    static const char* const kExtensions[] = {"TXT", "INI", "SYS", "DLL",  "EXE", "JPG", "PNG",
                                              "H",   "CPP", "PDF", "DOC",  "LOG", "XML", "JSON",
                                              "MP3", "PY",  "JS",  "HTML", "CSS", "SO"};
    // TXT takes about a tenth of all files, the rest share the remainder.
    const std::size_t e = Pick(10) == 0 ? 0 : 1 + Pick(std::size(kExtensions) - 1);
    const std::string extension = kExtensions[e];
    const std::size_t total = 8 + Pick(23);  // 8 to 30 bytes
    const std::size_t stem = total > extension.size() + 1 ? total - extension.size() - 1 : 1;
    return Word(stem, stem) + "." + extension;
  }

 private:
  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
  }

  std::string Word(std::size_t minLength, std::size_t maxLength) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    const std::size_t length = minLength + Pick(maxLength - minLength + 1);
    std::string word(length, 'A');
    for (std::size_t i = 0; i < length; ++i)
      word[i] = kLetters[Pick(sizeof(kLetters) - 1)];
    if (word[0] == ' ') word[0] = 'X';
    return word;
  }

  std::mt19937 random_;
};

}  // namespace varnoke::bench
