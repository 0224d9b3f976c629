// SPDX-License-Identifier: MIT
// The four constraint operations on a typical and a long line, case-sensitive
// and case-insensitive. Arguments: {long line?, case-sensitive?}.

#include <benchmark/benchmark.h>

#include "convert/constraint_ops.h"
#include "sample_text.h"

namespace {

std::string lineFor(const benchmark::State& state) {
  return state.range(0) ? loom::bench::longLine(100) : loom::bench::typicalLine();
}

void setBytes(benchmark::State& state, const std::string& line) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}

void BM_SearchReplace(benchmark::State& state) {
  const std::string line = lineFor(state);
  const bool cs = state.range(1) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loom::ApplySearchReplace(line, "caf\xC9", "caf&eacute;", cs));
  }
  setBytes(state, line);
}

void BM_SearchReplaceMiss(benchmark::State& state) {
  const std::string line = lineFor(state);
  const bool cs = state.range(1) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loom::ApplySearchReplace(line, "teh", "the", cs));
  }
  setBytes(state, line);
}

void BM_RemoveBlock(benchmark::State& state) {
  const std::string line = lineFor(state);
  const bool cs = state.range(1) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loom::ApplyRemoveBlock(line, "[note:", "]", cs));
  }
  setBytes(state, line);
}

void BM_RemoveToEndOfLine(benchmark::State& state) {
  const std::string line = lineFor(state);
  const bool cs = state.range(1) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loom::ApplyRemoveBlock(line, "(c)", "(EOL)", cs));
  }
  setBytes(state, line);
}

void BM_ReplaceFormatting(benchmark::State& state) {
  const std::string line = lineFor(state);
  const bool cs = state.range(1) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(loom::ApplyReplaceFormatting(line, "_", "_", cs, "<I>", "</I>"));
  }
  setBytes(state, line);
}

void BM_ReplaceFormattingToEndOfLine(benchmark::State& state) {
  const std::string line = lineFor(state);
  const bool cs = state.range(1) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        loom::ApplyReplaceFormatting(line, "--", "(EOL)", cs, "<SMALL>", "</SMALL>"));
  }
  setBytes(state, line);
}

void BM_HeaderLine(benchmark::State& state) {
  const std::string line = lineFor(state);
  for (auto _ : state) {
    std::string work = line;
    loom::ApplyHeaderLine(work, "Contents", "<H2>Contents</H2>");
    benchmark::DoNotOptimize(work);
  }
  setBytes(state, line);
}

void allCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"long", "cs"});
  for (int longLine : {0, 1}) {
    for (int cs : {1, 0}) b->Args({longLine, cs});
  }
}

}  // namespace

BENCHMARK(BM_SearchReplace)->Apply(allCases);
BENCHMARK(BM_SearchReplaceMiss)->Apply(allCases);
BENCHMARK(BM_RemoveBlock)->Apply(allCases);
BENCHMARK(BM_RemoveToEndOfLine)->Apply(allCases);
BENCHMARK(BM_ReplaceFormatting)->Apply(allCases);
BENCHMARK(BM_ReplaceFormattingToEndOfLine)->Apply(allCases);
BENCHMARK(BM_HeaderLine)->ArgNames({"long"})->Arg(0)->Arg(1);
