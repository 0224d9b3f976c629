// SPDX-License-Identifier: MIT
#pragma once
// What the conversion of one file needs, prepared once per run in the
// encoding of the run: the file type's values, the constraint rows that apply
// to its extension (its own and "GEN", in stored order), and the settings.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/codec.h"
#include "base/text.h"
#include "convert/constraint_kind.h"

namespace loom {

class PatternRow;

// A constraint row compiled for a run: its texts in the run's encoding,
// with the names of the stored columns.
struct CompiledConstraint {
  std::size_t position = 0;  // 1-based place in stored order, for messages
  std::string fileType;      // "GEN" or the extension, for messages
  ConstraintType type = ConstraintType::SearchReplace;
  std::string searchString;   // kind 1: trimmed
  std::string replaceString;  // kind 1: trimmed
  std::string rFirst;         // kind 3 only
  std::string rLast;          // kind 3 only
  bool caseSensitive = false;
  // Kind 5: the search text compiled in the run's encoding.
  std::shared_ptr<const PatternRow> pattern;
};

class RowScreen;

struct PageRules {
  // The line that becomes the title; 0, a negative number or one past the
  // last line means none.
  std::int64_t titleLine = 0;
  std::string beginSection;  // empty when the stored text is empty or blank
  std::string endSection;
  std::vector<CompiledConstraint> constraints;
  // The rows compiled once for the whole run (see convert/row_screen.h);
  // without it each conversion tries every row on every line.
  std::shared_ptr<const RowScreen> screen;
};

// Compiles `rules.constraints` into `rules.screen`, in the run's codec.
void compileRows(PageRules& rules, const TextCodec& codec);

// How a line of the text becomes a page line.
enum class LineLayout {
  Trim,  // spaces around it removed; a line left empty is dropped
  Keep,  // trailing blanks removed; leading ones and empty lines stay
};

struct PageSettings {
  std::string header;
  std::string footer;
  std::string endOfLineTag;
  LineEnds lineEnds = LineEnds::CrLf;
  // Write "&", "<" and ">" of the source text as character references; what
  // rules and settings insert stays as it is.
  bool escapeText = false;
  LineLayout lines = LineLayout::Trim;
};

}  // namespace loom
