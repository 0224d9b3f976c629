// ConvertFile on arbitrary file bytes with arbitrary prepared rules.

#include "convert/convert_file.h"
#include "fuzz/entry/fuzz_entry.h"

void loom::fuzz::convertFile(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  PageRules rules;
  rules.titleLine = static_cast<std::int8_t>(in.byte());
  rules.beginSection = in.text();
  rules.endSection = in.text();
  for (std::size_t i = 0; i < in.flags % 6u; ++i) {
    const std::uint8_t row = in.byte();
    // A braced list is read in order, as the fields are laid out in the input.
    rules.constraints.push_back(
        {.position = i + 1,
         .fileType = {},
         .type = static_cast<ConstraintType>(1 + row % 4),
         .searchString = in.text(),
         .replaceString = (row & 0x20) ? std::string(kEndOfLineMarker) : in.text(),
         .rFirst = in.text(),
         .rLast = in.text(),
         .caseSensitive = (row & 0x10) != 0});
  }
  PageSettings settings;
  settings.header = in.text();
  settings.footer = in.text();
  settings.endOfLineTag = in.text();
  const std::string path = in.text();
  const ConvertedPage page = ConvertFile(in.rest(), path, rules, settings, in.codec());
  require(page.bytes.starts_with(settings.header + "\r\n"),
          "the page does not begin with the header");
  require(page.bytes.ends_with(settings.footer + "\r\n"), "the page does not end with the footer");
  require(rules.titleLine > 0 || page.title == trimSpaces(path),
          "a page without a title line has another title");
  require(page.title == trimSpaces(page.title), "the title keeps outer spaces");
}
