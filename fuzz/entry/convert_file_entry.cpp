// SPDX-License-Identifier: MIT
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
    CompiledConstraint& c = rules.constraints.emplace_back();
    c.position = i + 1;
    c.type = static_cast<ConstraintType>(1 + row % 4);
    c.caseSensitive = (row & 0x10) != 0;
    c.searchString = in.text();
    c.replaceString = (row & 0x20) ? std::string(kEndOfLineMarker) : in.text();
    c.rFirst = in.text();
    c.rLast = in.text();
  }
  const PageSettings settings{.header = in.text(), .footer = in.text(), .endOfLineTag = in.text()};
  const std::string path = in.text();
  const ConvertedPage page = ConvertFile(in.rest, path, rules, settings, in.codec());
  LOOMWISE_REQUIRE(page.bytes.starts_with(settings.header + "\r\n") &&
                   page.bytes.ends_with(settings.footer + "\r\n"));
  LOOMWISE_REQUIRE(rules.titleLine > 0 || page.title == trimSpaces(path));
  LOOMWISE_REQUIRE(page.title == trimSpaces(page.title));
}
