// SPDX-License-Identifier: MIT
#include "app/preview.h"

#include "app/rules_compiler.h"
#include "base/error.h"
#include "convert/constraint_ops.h"
#include "convert/convert_file.h"
#include "convert/pattern_row.h"

namespace loom {
namespace {

// Whether the row keeps making new hits in what it inserts, so that a run
// has to resume after the inserted text for it.
bool neverEnds(const CompiledConstraint& row, const TextCodec& codec) {
  if (row.type == ConstraintType::SearchReplace) {
    return searchReplaceNeverEnds(row.searchString, row.replaceString, row.caseSensitive, codec);
  }
  if (row.type == ConstraintType::ReplaceFormatting) {
    return replaceFormattingNeverEnds(row.searchString, row.replaceString, row.rFirst, row.rLast,
                                      row.caseSensitive, codec);
  }
  return false;
}

PreviewResult note(std::string text) { return {false, {}, std::move(text)}; }

}  // namespace

PreviewResult previewConstraint(const std::string& rulesPath, const ConstraintFormFields& form,
                                std::string_view sampleUtf8) {
  ConstraintDraft defined;
  try {
    defined = constraintFromForm(form);
  } catch (const LoomError& e) {
    return note(e.what());
  }
  // Compiled as a run compiles them: the saved rows that cannot be used are
  // left out, as a run leaves them.
  std::vector<Problem> problems;
  std::vector<PlanWarning> warnings;
  RulesCompiler compiler(problems, warnings);
  CompiledRules rules;
  if (!compiler.readSettings(rulesPath, {}, rules)) {
    return note(problems.empty() ? std::string("The saved rules cannot be read.")
                                 : "The saved rules cannot be used: " + problems.front().message);
  }
  const TextCodec* codec = rules.codec;
  std::vector<CompiledConstraint> rows;
  CompiledConstraint row;
  try {
    row = compileDraft(defined, *codec);
    rows = compiler.constraintsOf(row.fileType, rules);
  } catch (const LoomError& e) {
    return note(e.what());
  }
  if (neverEnds(row, *codec)) {
    return note(
        "This constraint would never finish a line: what it inserts contains what it "
        "searches for. A run applies it once per hit and goes on after the inserted "
        "text.");
  }
  rows.push_back(row);

  std::string sample;
  try {
    sample = codec->fromStore(sampleUtf8, "The sample text");
  } catch (const LoomError& e) {
    return note(e.what());
  }
  std::string out;
  std::vector<std::string> groups;  // of a pattern's first match
  std::size_t start = 0;
  while (start <= sample.size()) {
    std::size_t end = sample.find('\n', start);
    if (end == std::string::npos) end = sample.size();
    std::string line = sample.substr(start, end - start);
    for (const CompiledConstraint& r : rows) {
      if (&r == &rows.back() && r.pattern && groups.empty()) groups = r.pattern->firstMatch(line);
      applyConstraint(line, r, *codec);
    }
    if (start) out += '\n';
    out += line;
    start = end + 1;
  }
  std::string said;
  if (row.pattern) {
    said = groups.empty() ? "The pattern matches no line of the sample." : "First match:";
    for (std::size_t g = 0; g < groups.size(); ++g)
      said += "  \\" + std::to_string(g) + " \"" + codec->toStore(groups[g]) + "\"";
  }
  return {true, codec->toStore(out), said};
}

}  // namespace loom
