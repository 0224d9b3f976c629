// SPDX-License-Identifier: MIT
// ConvertFile on a page of typical lines and on a page of long lines, with
// the sixteen rows that the benchmark corpus applies to a TXT file, all made
// case-sensitive or all case-insensitive. Arguments: {long lines?, case-sensitive?,
// source text escaped?}.

#include <benchmark/benchmark.h>

#include "convert/convert_file.h"
#include "sample_text.h"

namespace {

using loom::ConstraintType;

loom::CompiledConstraint row(ConstraintType kind, std::string search, std::string replace,
                             std::string front = {}, std::string back = {}) {
  loom::CompiledConstraint r;
  r.type = kind;
  r.searchString = std::move(search);
  r.replaceString = std::move(replace);
  r.rFirst = std::move(front);
  r.rLast = std::move(back);
  return r;
}

loom::PageRules corpusRules(bool caseSensitive) {
  using K = ConstraintType;
  loom::PageRules rules;
  rules.titleLine = 1;
  rules.beginSection = "<DIV class=\"txt\">";
  rules.endSection = "</DIV>";
  rules.constraints = {
      row(K::SearchReplace, "--", "&mdash;"),
      row(K::SearchReplace, "(c)", "&copy;"),
      row(K::SearchReplace, "caf\xE9", "caf&eacute;"),
      row(K::RemoveBlock, "[note:", "]"),
      row(K::RemoveBlock, "{{", "}}"),
      row(K::RemoveBlock, "//", "(EOL)"),
      row(K::ReplaceFormatting, "_", "_", "<I>", "</I>"),
      row(K::ReplaceFormatting, "**", "**", "<B>", "</B>"),
      row(K::ReplaceFormatting, "see:", "(EOL)", "<SMALL>see ", "</SMALL>"),
      row(K::HeaderLine, "Contents", "<H2>Contents</H2>"),
      row(K::HeaderLine, "* * *", "<HR>"),
      row(K::HeaderLine, "The End", "<P class=\"end\">The End</P>"),
      row(K::SearchReplace, "teh", "the"),
      row(K::RemoveBlock, "<!--", "-->"),
      row(K::ReplaceFormatting, "~", "~", "<S>", "</S>"),
      row(K::HeaderLine, "Summary", "<H3>Summary</H3>"),
  };
  for (auto& r : rules.constraints) r.caseSensitive = caseSensitive;
  return rules;
}

// About 400 lines: mostly plain, some with markers, some blank.
std::string page(bool longLines) {
  std::string contents;
  for (int i = 0; i < 400; ++i) {
    if (longLines) {
      contents += loom::bench::longLine(20);
    } else if (i % 10 == 3) {
      contents += "   ";
    } else {
      contents += i % 3 == 0 ? loom::bench::typicalLine() : loom::bench::plainLine();
    }
    contents += "\r\n";
  }
  return contents;
}

void BM_ConvertFile(benchmark::State& state) {
  const std::string contents = page(state.range(0) != 0);
  loom::PageRules rules = corpusRules(state.range(1) != 0);
  loom::compileRows(rules, loom::windows1252Codec());  // as a run does, once
  loom::PageSettings settings{"<HTML><BODY>", "</BODY></HTML>", "<P>"};
  settings.escapeText = state.range(2) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        loom::ConvertFile(contents, "in/t00001.txt", rules, settings, loom::windows1252Codec()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * contents.size()));
}

}  // namespace

BENCHMARK(BM_ConvertFile)->ArgNames({"long", "cs", "esc"})->ArgsProduct({{0, 1}, {1, 0}, {0, 1}});
