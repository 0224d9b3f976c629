// The directory pair, page names, extensions and link addresses from
// arbitrary text, as typed or as found in a directory.

#include "app/pair.h"
#include "base/codec.h"
#include "fuzz/entry/fuzz_entry.h"
#include "index/index_page.h"

namespace loom::fuzz {

void pairAndNames(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::optional<DirectoryPair> dirs = splitPair(text);
  if (text.find(',') == std::string::npos) require(!dirs, "a pair without a comma was split");
  if (dirs) {
    require(!dirs->input.empty() && dirs->input.back() == '/', "input directory without \"/\"");
    require(!dirs->output.empty() && dirs->output.back() == '/', "output directory without \"/\"");
  }

  const std::optional<std::string> page = pageNameFor(text);
  const std::size_t dot = text.find('.');
  require(page.has_value() == (dot != std::string::npos),
          "a page name without a \".\" in the file name");
  if (page) {
    require(
        page->substr(0, 2) == "lw" && page->size() >= 6 && page->substr(page->size() - 4) == ".htm",
        "a page name that is not lw....htm");
    const std::string middle = page->substr(2, page->size() - 6);
    require(middle.size() <= 6 * 4, "a page name longer than six characters");
    require(text.substr(0, dot).find(middle) != std::string::npos,
            "a page name not taken from the file name");
  }

  for (const TextCodec* codec : {&windows1252Codec(), &utf8Codec()}) {
    const std::string ext = fileExtension(text, *codec);
    if (dot == std::string::npos)
      require(!ext.empty() || text.empty(), "a name lost its extension");
  }

  const std::string link = linkAddress(text);
  for (char c : link) {
    const auto b = static_cast<unsigned char>(c);
    require(b >= 0x20 && b < 0x80, "a link address with a byte outside printable ASCII");
    require(c != '"' && c != '#' && c != '?' && c != '\\', "a link address that breaks the link");
  }
}

}  // namespace loom::fuzz
