// SPDX-License-Identifier: MIT
#include "app/page_name.h"

#include "base/error.h"
#include "base/utf8.h"

namespace loom {

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
    } catch (const LoomError&) {
      // A name with characters Windows-1252 lacks matches no rule anyway.
    }
  }
  return codec.upper(ext);
}

}  // namespace loom
