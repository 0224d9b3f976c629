// The directory pair, page names, extensions and link addresses from
// arbitrary text, as typed or as found in a directory.

#include "app/pair.h"
#include "fuzz/entry/fuzz_entry.h"
#include "index/index_page.h"

void loom::fuzz::pairAndNames(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  constexpr std::size_t npos = std::string::npos;

  const std::optional<DirectoryPair> dirs = splitPair(text);
  require(!dirs || text.find(',') != npos, "a pair without a comma was split");
  require(!dirs || (dirs->input.ends_with('/') && dirs->output.ends_with('/')),
          "a directory of the pair without \"/\"");

  const std::optional<std::string> page = pageNameFor(text);
  const std::size_t dot = text.find('.');
  require(page.has_value() == (dot != npos), "a page name without a \".\" in the file name");
  if (page) {
    require(page->starts_with("lw") && page->size() >= 6 && page->ends_with(".htm"),
            "a page name that is not lw....htm");
    const std::string middle = page->substr(2, page->size() - 6);
    require(middle.size() <= 6 * 4, "a page name longer than six characters");
    require(text.substr(0, dot).find(middle) != npos, "a page name not taken from the file name");
  }

  for (const TextCodec* codec : {&windows1252Codec(), &utf8Codec()}) {
    require(!fileExtension(text, *codec).empty() || dot != npos || text.empty(),
            "a name lost its extension");
  }

  for (const char c : linkAddress(text)) {
    const auto b = static_cast<unsigned char>(c);
    require(b >= 0x20 && b < 0x80 && std::string_view("\"#?\\").find(c) == npos,
            "a link address with a byte outside printable ASCII, or one that breaks the link");
  }
}
