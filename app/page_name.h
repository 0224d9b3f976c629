// SPDX-License-Identifier: MIT
#pragma once
// How a file's name gives its page and its file type.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/codec.h"

namespace loom {

// How pages are named after their files (see pageNameFor).
enum class PageNaming {
  Short,  // "lw" + six characters + ".htm"; files that share them share a page
  Full,   // the whole file name + ".html"
};

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
