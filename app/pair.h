#pragma once
// Taking the directory pair apart, and naming pages.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/codec.h"

namespace loom {

class FileSystem;

inline constexpr const char* kBothPathsMessage = "You must specify both an input and output path";

// How pages are named after their files (see pageNameFor).
enum class PageNaming {
  Short,  // "lw" + six characters + ".htm"; files that share them share a page
  Full,   // the whole file name + ".html"
};

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

// The page of a file. Short: "lw" + the last six of the first eight
// characters of the part of the file name before its first "." (the whole
// name when it has none) + ".htm"; characters are whole characters of the
// name in UTF-8 (file names on this platform), bytes where it is not valid
// UTF-8. chapter01.txt -> lwapter0.htm, notes.2024.txt -> lwnotes.htm,
// README -> lwREADME.htm. Full: the file name + ".html", so that no two
// files of a directory share a page: chapter01.txt -> chapter01.txt.html.
std::string pageNameFor(std::string_view fileName, PageNaming naming = PageNaming::Short);

// Where the part between "lw" and ".htm" of a short page name lies in the
// file name: it starts within the first three characters and holds at most
// six, of at most four bytes each, so a byte holds each. "chapter01.txt" ->
// {2, 6} ("apter0").
struct PageStem {
  std::uint8_t from = 0;
  std::uint8_t size = 0;
};
PageStem pageStemOf(std::string_view fileName);
// The short page name of a file whose stem is `stem`.
std::string pageNameOf(std::string_view fileName, PageStem stem);

// The extension as the file name holds it: the text after its first "."
// (the whole name when it has no "."). listedExtension("a.b.txt") == "b.txt".
std::string_view listedExtension(std::string_view fileName);
// The extension that selects the file type: the listed extension in the
// run's encoding, upper-cased. A file's directory never takes part, so
// "/data/v1.2/notes.txt" does not matter.
std::string fileExtension(std::string_view fileName, const TextCodec& codec);

}  // namespace loom
