#include "app/pair.h"

#include "base/file_system.h"
#include "base/text.h"
#include "base/utf8.h"

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

PageStem pageStemOf(std::string_view fileName) {
  const std::string_view base = fileName.substr(0, fileName.find('.'));
  const bool utf8 = firstInvalidUtf8(base) == std::string_view::npos;
  // Start offsets of the first nine characters of the base.
  std::size_t starts[9];
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < base.size() && count < 9;
       pos += utf8 ? decodeUtf8(base, pos).length : 1) {
    starts[count++] = pos;
  }
  const std::size_t firstEight = count < 8 ? count : 8;
  const std::size_t from = firstEight < 6 ? 0 : firstEight - 6;
  const std::size_t begin = from < count ? starts[from] : base.size();
  const std::size_t end = firstEight < count ? starts[firstEight] : base.size();
  return PageStem{static_cast<std::uint8_t>(begin), static_cast<std::uint8_t>(end - begin)};
}

std::string pageNameOf(std::string_view fileName, PageStem stem) {
  std::string page;
  page.reserve(stem.size + 6);
  page.append("lw").append(fileName.substr(stem.from, stem.size)).append(".htm");
  return page;
}

std::string pageNameFor(std::string_view fileName, PageNaming naming) {
  if (naming == PageNaming::Full) return std::string(fileName) + ".html";
  return pageNameOf(fileName, pageStemOf(fileName));
}

std::string_view listedExtension(std::string_view fileName) {
  const std::size_t dot = fileName.find('.');
  return dot == std::string_view::npos ? fileName : fileName.substr(dot + 1);
}

std::string fileExtension(std::string_view fileName, const TextCodec& codec) {
  const std::string_view ext = listedExtension(fileName);
  if (codec.encoding() == Encoding::Windows1252 &&
      firstInvalidUtf8(ext) == std::string_view::npos) {
    // File names are UTF-8 on this platform; compare them with the rules in
    // the encoding of the run, as a name typed on Windows would be.
    try {
      return codec.upper(codec.fromStore(ext, "file name"));
    } catch (const std::exception&) {
      // A name with characters Windows-1252 lacks matches no rule anyway.
    }
  }
  return codec.upper(ext);
}

}  // namespace loom
