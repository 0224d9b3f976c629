#include "app/preview.h"

#include "app/run_plan.h"
#include "base/error.h"
#include "base/text.h"
#include "convert/constraint_ops.h"
#include "convert/convert_file.h"
#include "rules/global_settings.h"

namespace loom {
namespace {

// Whether the row keeps making new hits in what it inserts, so that a run
// has to resume after the inserted text for it.
bool neverEnds(const PreparedConstraint& row, const TextCodec& codec) {
  if (row.kind == ConstraintType::SearchReplace) {
    return searchReplaceNeverEnds(row.search, row.replace, row.caseSensitive, codec);
  }
  if (row.kind == ConstraintType::ReplaceFormatting) {
    return replaceFormattingNeverEnds(row.search, row.replace, row.front, row.back,
                                      row.caseSensitive, codec);
  }
  return false;
}

PreviewResult note(std::string text) { return {false, {}, std::move(text)}; }

}  // namespace

PreviewResult previewConstraint(const std::string& rulesPath, const ConstraintFormFields& form,
                                std::string_view sampleUtf8) {
  ConstraintRow defined;
  try {
    defined = constraintFromForm(form);
  } catch (const LoomError& e) {
    return note(e.what());
  }
  RuleTables tables;
  const TextCodec* codec = &windows1252Codec();
  try {
    tables = readRuleTables(rulesPath);
    if (auto name = settingFrom(tables, kEncodingKey, rulesPath, /*optional=*/true)) {
      codec = codecByName(std::string(trimSpaces(*name)));
      if (codec == nullptr) return note("The rule database's Encoding setting is not valid.");
    }
  } catch (const LoomError& e) {
    return note(std::string("The saved rules cannot be read: ") + e.what());
  }

  std::vector<PreparedConstraint> rows;
  PreparedConstraint row;
  try {
    const std::string extension = codec->fromStore(defined.fileType, "The file type");
    std::vector<Problem> problems;
    std::vector<PlanWarning> warnings;
    rows = constraintsFor(tables, *codec, extension, problems, warnings);
    row.kind = static_cast<ConstraintType>(defined.type);
    row.fileType = extension;
    row.search = codec->fromStore(defined.searchString, "The first field");
    row.replace = codec->fromStore(defined.replaceString, "The second field");
    row.front = codec->fromStore(defined.rFirst, "The third field");
    row.back = codec->fromStore(defined.rLast, "The fourth field");
  } catch (const LoomError& e) {
    return note(e.what());
  }
  row.caseSensitive = defined.caseSensitive;
  if (row.kind == ConstraintType::SearchReplace) {
    row.search = std::string(trimSpaces(row.search));
    row.replace = std::string(trimSpaces(row.replace));
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
  std::size_t start = 0;
  while (start <= sample.size()) {
    std::size_t end = sample.find('\n', start);
    if (end == std::string::npos) end = sample.size();
    std::string line = sample.substr(start, end - start);
    for (const PreparedConstraint& r : rows) applyConstraint(line, r, *codec);
    if (start) out += '\n';
    out += line;
    start = end + 1;
  }
  return {true, codec->toStore(out), {}};
}

}  // namespace loom
