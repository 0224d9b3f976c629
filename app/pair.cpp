// SPDX-License-Identifier: MIT
#include "app/pair.h"

#include "base/file_system.h"
#include "base/text.h"

namespace loom {

std::optional<DirectoryPair> splitPair(std::string_view pair) {
  const std::size_t comma = pair.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  DirectoryPair dirs;
  dirs.input = std::string(trimSpaces(pair.substr(0, comma)));
  dirs.output = std::string(trimSpaces(pair.substr(comma + 1)));
  // An empty part would read from or write into the file system root.
  if (dirs.input.empty() || dirs.output.empty()) return std::nullopt;
  if (comma == 0 || pair[comma - 1] != '/') dirs.input += '/';
  const std::string_view whole = trimSpaces(pair);
  if (whole.empty() || whole.back() != '/') dirs.output += '/';
  return dirs;
}

std::optional<DirectoryPair> typedPair(std::string input, std::string output) {
  if (input.empty() || output.empty()) return std::nullopt;
  if (input.back() != '/') input += '/';
  if (output.back() != '/') output += '/';
  return DirectoryPair{std::move(input), std::move(output)};
}

std::optional<ChosenDirectoryProblem> checkChosenDirectories(std::string_view input,
                                                             std::string_view output,
                                                             const FileSystem& fs) {
  using Kind = ChosenDirectoryProblem::Kind;
  const std::string_view texts[] = {trimSpaces(input), trimSpaces(output)};
  for (int which = 0; which < 2; ++which) {
    if (texts[which].empty()) return ChosenDirectoryProblem{which, Kind::Empty};
  }
  for (int which = 0; which < 2; ++which) {
    switch (fs.kind(std::string(texts[which]))) {
      case PathKind::Directory:
        break;
      case PathKind::Missing:
        return ChosenDirectoryProblem{which, Kind::Missing};
      case PathKind::RegularFile:
      case PathKind::Other:
        return ChosenDirectoryProblem{which, Kind::NotADirectory};
    }
  }
  return std::nullopt;
}

std::string joinArguments(int argc, const char* const argv[], int first) {
  std::string joined;
  for (int i = first; i < argc; ++i) {
    if (i > first) joined += ' ';
    joined += argv[i];
  }
  return joined;
}

}  // namespace loom
