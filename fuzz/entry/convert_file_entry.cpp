// ConvertFile on arbitrary file bytes with arbitrary prepared rules.

#include "base/codec.h"
#include "base/text.h"
#include "convert/convert_file.h"
#include "fuzz/entry/fuzz_entry.h"

namespace loom::fuzz {

void convertFile(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::uint8_t flags = in.byte();
  const TextCodec& codec = (flags & 0x08) ? utf8Codec() : windows1252Codec();
  PageRules rules;
  rules.titleLine = static_cast<std::int8_t>(in.byte());
  rules.beginSection = in.text();
  rules.endSection = in.text();
  const std::size_t rows = flags % 6;
  for (std::size_t i = 0; i < rows; ++i) {
    const std::uint8_t rowFlags = in.byte();
    CompiledConstraint row;
    row.position = i + 1;
    row.type = static_cast<ConstraintType>(1 + rowFlags % 4);
    row.caseSensitive = (rowFlags & 0x10) != 0;
    row.searchString = in.text();
    row.replaceString = (rowFlags & 0x20) ? std::string(kEndOfLineMarker) : in.text();
    row.rFirst = in.text();
    row.rLast = in.text();
    rules.constraints.push_back(std::move(row));
  }
  PageSettings settings;
  settings.header = in.text();
  settings.footer = in.text();
  settings.endOfLineTag = in.text();
  const std::string path = in.text();
  const std::string contents = in.rest();

  const ConvertedPage page = ConvertFile(contents, path, rules, settings, codec);
  require(page.bytes.starts_with(settings.header + "\r\n"),
          "the page does not begin with the header");
  require(page.bytes.ends_with(settings.footer + "\r\n"), "the page does not end with the footer");
  if (rules.titleLine <= 0) {
    require(page.title == trimSpaces(path), "a page without a title line has another title");
  }
  require(page.title.empty() || page.title == trimSpaces(page.title),
          "the title keeps outer spaces");
}

}  // namespace loom::fuzz
