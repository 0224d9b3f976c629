// SPDX-License-Identifier: MIT
#pragma once
// Taking the directory pair apart.

#include <optional>
#include <string>
#include <string_view>

namespace loom {

class FileSystem;

inline constexpr const char* kBothPathsMessage = "You must specify both an input and output path";

struct DirectoryPair {
  std::string input;   // always ends in "/"
  std::string output;  // always ends in "/"
};

// Splits "input,output" at the first comma (further commas belong to the
// output). Each part is trimmed of spaces; the input gets a "/" unless the
// character right before the comma is one, the output unless the whole pair,
// trimmed, ends in one:
//   "/texts,/site"      -> "/texts/", "/site/"
//   "/texts/ , /site/"  -> "/texts//", "/site/"
// A pair without a comma, or whose input or output part is empty after
// trimming, gives nothing (the caller shows kBothPathsMessage).
std::optional<DirectoryPair> splitPair(std::string_view pair);

// Two directories given separately, each taken as typed (a comma is part of
// the name), with a "/" appended where it does not end in one. An empty one
// gives nothing (the caller shows kBothPathsMessage): it would read from or
// write into the file system root.
std::optional<DirectoryPair> typedPair(std::string input, std::string output);

// Why one of two directories chosen for a run cannot be used, found while
// they are chosen, so that the one at fault is mended before the run.
struct ChosenDirectoryProblem {
  enum class Kind { Empty, Missing, NotADirectory };
  int which = 0;  // 0 the input directory, 1 the output directory
  Kind kind = Kind::Empty;
};
// Both texts, trimmed of spaces, must name existing directories; whether
// the output can be written is the run's to say, with the reason.
std::optional<ChosenDirectoryProblem> checkChosenDirectories(std::string_view input,
                                                             std::string_view output,
                                                             const FileSystem& fs);

// Joins separately delivered command-line arguments into the one pair text,
// with one blank between them, so "/my texts,/my site" survives the shell
// splitting it.
std::string joinArguments(int argc, const char* const argv[], int first);

}  // namespace loom
