// SPDX-License-Identifier: MIT
// The directory pair, page name, extension and link address of any text.

#include "app/page_name.h"
#include "app/pair.h"
#include "fuzz/entry/fuzz_entry.h"
#include "index/index_page.h"

void loom::fuzz::pairAndNames(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  constexpr std::size_t npos = std::string::npos;
  const std::optional<DirectoryPair> dirs = splitPair(text);
  LOOMWISE_REQUIRE(!dirs || (text.find(',') != npos && dirs->input.ends_with('/') &&
                             dirs->output.ends_with('/')));
  const std::string page = pageNameFor(text);
  const std::size_t dot = text.find('.');
  LOOMWISE_REQUIRE(page.size() >= 6 && page.starts_with("lw") && page.ends_with(".htm"));
  const std::string middle = page.substr(2, page.size() - 6);
  LOOMWISE_REQUIRE(middle.size() <= 6 * 4 && text.substr(0, dot).find(middle) != npos);
  LOOMWISE_REQUIRE(pageNameFor(text, PageNaming::Full) == text + ".html");
  for (const TextCodec* codec : {&windows1252Codec(), &utf8Codec()})
    LOOMWISE_REQUIRE(!fileExtension(text, *codec).empty() || dot != npos || text.empty());
  const std::string link = linkAddress(text);
  for (const unsigned char c : link)
    LOOMWISE_REQUIRE(c >= 0x20 && c < 0x80 && std::string_view("\"#?\\").find(c) == npos);
  // Never read as a scheme ("lw:30 no.htm" would be one).
  const std::size_t colon = link.find(':');
  LOOMWISE_REQUIRE(colon == npos || link.starts_with("./"));
}
