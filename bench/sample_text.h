// SPDX-License-Identifier: MIT
#pragma once
// Lines shaped like the benchmark corpus, shared by the micro benchmarks.

#include <string>

namespace loom::bench {

// A typical line: about 70 bytes of words with a few markers in it.
inline std::string typicalLine() {
  return "  harbour town -- council meeting [Note: the ferry] **market** _fish_ caf\xE9 (C) ";
}

// Words without any marker, as most lines of a text are.
inline std::string plainLine() {
  return "the morning ferry left the harbour early and the market opened at nine";
}

// A long line: `copies` typical lines joined by blanks.
inline std::string longLine(int copies) {
  std::string line;
  for (int i = 0; i < copies; ++i) line += typicalLine() + " ";
  return line;
}

}  // namespace loom::bench
