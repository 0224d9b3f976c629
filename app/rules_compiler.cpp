// SPDX-License-Identifier: MIT
#include "app/rules_compiler.h"

#include <algorithm>
#include <functional>
#include <set>

#include "app/source_warnings.h"
#include "base/text.h"
#include "convert/constraint_kind.h"
#include "convert/pattern_row.h"
#include "rules/global_settings.h"

namespace loom {
namespace {

// Collects problems and turns stored UTF-8 into the run's encoding.
class Checker {
 public:
  Checker(const TextCodec& codec, std::vector<Problem>& problems)
      : codec_(codec), problems_(problems) {}

  void problem(ErrorKind kind, std::string message, Missing missing = Missing::Nothing,
               std::string subject = {}) {
    problems_.push_back({kind, std::move(message), missing, std::move(subject), {}});
  }
  void columnProblem(const std::string& column, std::string message) {
    problems_.push_back({ErrorKind::Rules, std::move(message), Missing::Nothing, {}, column});
  }

  // The text of a column that the run reads; a NULL or an untranslatable
  // character is a problem naming `where` and the column.
  std::optional<std::string> text(const Text& value, const std::string& where,
                                  const std::string& column) {
    if (!value) {
      columnProblem(column, where + ": " + column + " is empty (NULL)");
      return std::nullopt;
    }
    try {
      return codec_.fromStore(*value, where + ", column " + quoted(column));
    } catch (const LoomError& e) {
      columnProblem(column, e.what());
      return std::nullopt;
    }
  }

 private:
  const TextCodec& codec_;
  std::vector<Problem>& problems_;
};

// A stored key in the run's encoding; nothing when the encoding cannot hold
// it, in which case it cannot equal any extension or group of the run.
std::optional<std::string> keyInRunEncoding(const Text& stored, const TextCodec& codec) {
  if (!stored) return std::nullopt;
  try {
    return codec.fromStore(*stored, "key");
  } catch (const LoomError&) {
    return std::nullopt;
  }
}

// An optional setting's choice for this run: the run's own override, else
// the stored row, else what a missing row means (what stored databases
// without the row were written for). A value that is none of its choices is
// a problem naming where it came from: the option (a usage error) or the
// GlobalDefs row.
std::optional<std::string_view> chooseSetting(SettingId id,
                                              const std::optional<std::string>& override,
                                              const std::optional<std::string>& stored,
                                              std::vector<Problem>& problems) {
  const SettingDef& def = settingDef(id);
  if (override) {
    if (auto choice = choiceOf(def, *override)) return choice;
    problems.push_back({ErrorKind::Usage, unknownChoiceText(def, *override)});
    return std::nullopt;
  }
  if (!stored) return def.missing;
  if (auto choice = choiceOf(def, *stored)) return choice;
  problems.push_back({ErrorKind::Rules, std::string("GlobalDefs row \"") + def.key +
                                            "\": Content " + quoted(*stored) + " is not " +
                                            choicesText(def)});
  return std::nullopt;
}

std::optional<std::string> overrideOf(const SettingOverrides& overrides, SettingId id) {
  const auto it = overrides.find(id);
  if (it == overrides.end()) return std::nullopt;
  return it->second;
}

// The choice of `id` for this run; a bad value adds a problem and gives what
// a missing row means, so that the rest of the check still runs.
std::string_view choice(SettingId id, const SettingOverrides& overrides,
                        const GlobalSettings& stored, std::vector<Problem>& problems) {
  return chooseSetting(id, overrideOf(overrides, id), stored.value(id), problems)
      .value_or(settingDef(id).missing);
}

// The run's line ends, escaping, lines and page names.
void chooseTextSettings(const SettingOverrides& overrides, const GlobalSettings& stored,
                        CompiledRules& rules, std::vector<Problem>& problems) {
  rules.settings.lineEnds =
      *lineEndsByName(choice(SettingId::LineEnds, overrides, stored, problems));
  rules.settings.escapeText = choice(SettingId::EscapeText, overrides, stored, problems) == "yes";
  rules.settings.lines = choice(SettingId::Lines, overrides, stored, problems) == "keep"
                             ? LineLayout::Keep
                             : LineLayout::Trim;
  rules.pageNaming = choice(SettingId::PageNames, overrides, stored, problems) == "full"
                         ? PageNaming::Full
                         : PageNaming::Short;
  rules.escapeTextChosen =
      overrides.count(SettingId::EscapeText) != 0 || stored.value(SettingId::EscapeText);
}

void checkIndexPageName(const std::string& name, std::vector<Problem>& problems) {
  constexpr std::size_t kLongestName = 255;  // NAME_MAX of the common file systems
  const std::string where = "GlobalDefs row \"IndexPageName\": " + quoted(visibleName(name));
  const bool control = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (name.empty()) {
    problems.push_back({ErrorKind::Rules,
                        "GlobalDefs row \"IndexPageName\": Content is empty; "
                        "the index page needs a file name"});
  } else if (name == "." || name == ".." || name.find('/') != std::string::npos) {
    problems.push_back({ErrorKind::Rules, where +
                                              " is not a plain file name; the index page must be "
                                              "written inside the output directory"});
  } else if (control) {
    problems.push_back({ErrorKind::Rules, where + " holds a control character (shown as \\x..); a "
                                                  "file name must not"});
  } else if (name.size() > kLongestName) {
    problems.push_back({ErrorKind::Rules, where + " is " + std::to_string(name.size()) +
                                              " bytes long; a file name can have at most " +
                                              std::to_string(kLongestName)});
  }
}

// Why a stored value that should be a whole number is not one, naming how
// it is stored when that is the reason.
std::string notAWholeNumber(const StoredValue& value) {
  if (value.type == ValueType::Blob) {
    return "is stored as binary data (a blob), not as a number; store it as a whole number";
  }
  return quoted(value.asText().value_or("")) + " is not a whole number";
}

// The page rules of one FileTypes row; `group` gets its GroupID in the run's
// encoding. What the run cannot use goes to `check`.
PageRules fileTypeRules(const FileTypeRecord& row, const std::string& where, Checker& check,
                        std::optional<std::string>& group) {
  PageRules rules;
  if (row.titleLine.isNull()) {
    check.columnProblem("Title Line", where + ": Title Line is empty (NULL)");
  } else if (const auto n = row.titleLine.asInteger()) {
    rules.titleLine = *n;
  } else {
    check.columnProblem("Title Line", where + ": Title Line " + notAWholeNumber(row.titleLine));
  }
  // A section text of spaces only adds no line.
  if (auto begin = check.text(row.beginSection, where, "BeginSection")) {
    if (!trimSpaces(*begin).empty()) rules.beginSection = std::move(*begin);
  }
  if (auto end = check.text(row.endSection, where, "EndSection")) {
    if (!trimSpaces(*end).empty()) rules.endSection = std::move(*end);
  }
  group = check.text(row.groupId, where, "GroupID");
  return rules;
}

GroupTexts groupTexts(const GroupRecord& g, Checker& check) {
  const std::string where = "Groups row " + quoted(g.groupId.value_or(""));
  const auto header = check.text(g.header, where, "Header");
  const auto footer = check.text(g.footer, where, "Footer");
  return GroupTexts{header.value_or(""), footer.value_or("")};
}

// The first FileTypes row for `extension`, in the run's encoding.
const FileTypeRecord* findFileType(const RuleTables& tables, const TextCodec& codec,
                                   std::string_view extension) {
  for (const FileTypeRecord& r : tables.fileTypes) {
    const std::optional<std::string> id = keyInRunEncoding(r.identifier, codec);
    if (id && codec.equalNoCase(*id, extension)) return &r;
  }
  return nullptr;
}

void prepareFileTypes(CompiledRules& compiled, const FilesByExtension& filesByExtension,
                      const RuleTables& tables, Checker& check) {
  std::set<std::string> usedGroups;
  const FileTypeRecord* generic = findFileType(tables, *compiled.codec, kGenericFileType);
  for (const auto& [extension, files] : filesByExtension) {
    const FileTypeRecord* row = findFileType(tables, *compiled.codec, extension);
    if (row == nullptr && generic != nullptr) {
      row = generic;
      compiled.genericExtensions.insert(extension);
    }
    if (row == nullptr) {
      std::string example = quoted(files.first);
      if (files.count > 1) example += " and " + std::to_string(files.count - 1) + " more";
      check.problem(
          ErrorKind::Rules,
          "FileTypes has no row for " + quoted(extension) + " (needed by file " + example + ")",
          Missing::FileTypesRow, compiled.codec->toStore(extension));
      continue;
    }
    std::optional<std::string> group;
    const std::string where =
        "FileTypes row " + quoted(row == generic ? std::string(kGenericFileType) : extension);
    PageRules rules = fileTypeRules(*row, where, check, group);
    if (group) {
      usedGroups.insert(*group);
      compiled.groupByExtension[extension] = std::move(*group);
    }
    compiled.rulesByExtension[extension] = std::move(rules);
  }

  // Groups: every named group needs a row (an empty group needs none).
  for (const GroupRecord& g : tables.groups) {
    const std::optional<std::string> id = keyInRunEncoding(g.groupId, *compiled.codec);
    if (!id) continue;
    bool needed = false;
    for (const std::string& used : usedGroups)
      needed = needed || compiled.codec->equalNoCase(*id, used);
    if (!needed || compiled.findGroup(*id)) continue;
    compiled.groups.emplace_back(*id, groupTexts(g, check));
  }
  for (const std::string& used : usedGroups) {
    if (used.empty() || compiled.findGroup(used)) continue;
    std::string users;
    for (const auto& [extension, group] : compiled.groupByExtension) {
      if (group == used) users += (users.empty() ? "" : ", ") + quoted(extension);
    }
    check.problem(
        ErrorKind::Rules,
        "Groups has no row for " + quoted(used) + " (named by FileTypes row " + users + ")",
        Missing::GroupsRow, compiled.codec->toStore(used));
  }
}

// A search and replace row finds and inserts its texts without the spaces
// around them.
void trimSearchReplace(CompiledConstraint& row) {
  if (row.type != ConstraintType::SearchReplace) return;
  row.searchString = std::string(trimSpaces(row.searchString));
  row.replaceString = std::string(trimSpaces(row.replaceString));
}

std::string describeRow(const StoredConstraint& r) {
  return "Constraints row " + std::to_string(r.position) + " (FileType " +
         quoted(r.fileType.value_or("")) + ")";
}

// The row prepared in the run's encoding, or nothing when it cannot be used:
// a Type other than 1 to 5 is a warning (the row is ignored), a missing or
// unusable field a problem.
std::optional<CompiledConstraint> prepareRow(const StoredConstraint& r, const std::string& fileType,
                                             const TextCodec& codec, Checker& check,
                                             std::vector<PlanWarning>& warnings) {
  const std::string where = describeRow(r);
  const auto type = r.type.asInteger();
  if (!type || *type < 1 || *type > kLastConstraintType) {
    warnings.push_back(
        {WarningKind::ErrorCondition,
         where + ": Type " + (r.type.isNull() ? "is empty (NULL)" : quoted(*r.type.asText())) +
             " is not 1 to " + std::to_string(kLastConstraintType) + "; the row is ignored"});
    return std::nullopt;
  }
  CompiledConstraint row;
  row.position = r.position;
  row.fileType = fileType;
  row.type = static_cast<ConstraintType>(*type);
  bool ok = true;
  auto need = [&](const Text& value, const char* column, std::string& into) {
    if (auto t = check.text(value, where, column)) {
      into = std::move(*t);
    } else {
      ok = false;
    }
  };
  need(r.searchString, "Search String", row.searchString);
  need(r.replaceString, "Replace String", row.replaceString);
  if (row.type == ConstraintType::ReplaceFormatting) {
    need(r.rFirst, "RFirst", row.rFirst);
    need(r.rLast, "RLast", row.rLast);
  }
  if (row.type != ConstraintType::HeaderLine) {
    if (r.caseSensitive.isNull()) {
      check.columnProblem("CaseSensitive", where + ": CaseSensitive is empty (NULL)");
      ok = false;
    } else if (const auto flag = r.caseSensitive.asInteger()) {
      row.caseSensitive = *flag != 0;
    } else {
      const std::string t = r.caseSensitive.asText().value_or("");
      const std::string folded = codec.upper(trimSpaces(t));
      if (folded == "TRUE" || folded == "FALSE") {
        row.caseSensitive = folded == "TRUE";
      } else {
        // A fraction is a number, just not a flag.
        check.columnProblem("CaseSensitive",
                            where + ": CaseSensitive " +
                                (r.caseSensitive.type == ValueType::Real
                                     ? quoted(t) + " is not 0 or 1"
                                     : notAWholeNumber(r.caseSensitive) + " (0 or 1)"));
        ok = false;
      }
    }
  }
  if (row.type == ConstraintType::SearchReplace && ok) {
    trimSearchReplace(row);
    if (row.searchString.empty()) {
      check.columnProblem("Search String", where +
                                               ": Search String is empty or only spaces; a "
                                               "search and replace row needs a text to find");
      ok = false;
    }
  }
  if (row.type == ConstraintType::PatternReplace && ok) {
    std::string why;
    row.pattern =
        PatternRow::compile(row.searchString, row.replaceString, row.caseSensitive, codec, why);
    if (!row.pattern) {
      check.columnProblem(why.starts_with("the replacement") ? "Replace String" : "Search String",
                          where + ": " + why);
      ok = false;
    }
  }
  if (!ok) return std::nullopt;
  return row;
}

// Compiles, in stored order, every row whose FileType (in the run's
// encoding) `wanted` accepts, and hands each usable one to `add`.
void compileConstraints(const RuleTables& tables, const TextCodec& codec,
                        const std::function<bool(const std::string&)>& wanted, Checker& check,
                        std::vector<PlanWarning>& warnings,
                        const std::function<void(CompiledConstraint&&)>& add) {
  for (const StoredConstraint& r : tables.constraints) {
    const std::optional<std::string> fileType = keyInRunEncoding(r.fileType, codec);
    if (!fileType || !wanted(*fileType)) continue;
    if (auto row = prepareRow(r, *fileType, codec, check, warnings)) add(std::move(*row));
  }
}

}  // namespace

std::optional<GroupTexts> CompiledRules::findGroup(const std::string& group) const {
  for (const auto& [id, texts] : groups) {
    if (codec->equalNoCase(id, group)) return texts;
  }
  return std::nullopt;
}

bool RulesCompiler::readSettings(const std::string& rulesPath, const SettingOverrides& overrides,
                                 CompiledRules& rules) {
  std::vector<Problem>& problems = problems_;
  RuleTables& tables = tables_;
  try {
    tables = readRuleTables(rulesPath);
  } catch (const LoomError& e) {
    problems.push_back({e.kind(), e.what()});
    return false;
  }
  // Each setting on its own, so that every missing row is reported at once.
  GlobalSettings stored;
  auto setting = [&](const char* key, std::string& into) {
    try {
      into = *settingFrom(tables, key, rulesPath);
      return true;
    } catch (const LoomError& e) {
      problems.push_back({e.kind(), e.what()});
      return false;
    }
  };
  // Every setting is read, so that every missing one is reported.
  const int settingsFound =
      setting(kEndOfLineKey, stored.endOfLineTag) + setting(kHeaderKey, stored.header) +
      setting(kFooterKey, stored.footer) + setting(kIndexPageNameKey, stored.indexPageName);
  const bool settingsOk = settingsFound == 4;
  for (const SettingDef& def : settingTable()) {
    if (isRequired(def)) continue;
    try {
      if (auto value = settingFrom(tables, def.key, rulesPath, /*optional=*/true)) {
        stored.optional[def.id] = std::move(*value);
      }
    } catch (const LoomError& e) {
      problems.push_back({e.kind(), e.what()});
    }
  }
  chooseTextSettings(overrides, stored, rules, problems);
  const TextCodec* codec = chooseCodec(overrideOf(overrides, SettingId::Encoding),
                                       stored.value(SettingId::Encoding), problems);
  if (codec == nullptr) return false;
  rules.codec = codec;
  rules.hasGenericType = findFileType(tables, *codec, kGenericFileType) != nullptr;
  for (const auto& [first, later] : repeatedFileTypes(tables.fileTypes, *codec)) {
    warnings_.push_back(
        {WarningKind::RepeatedRow, "FileTypes rows " + std::to_string(first) + " and " +
                                       std::to_string(later) + " have the same Identifier " +
                                       quoted(tables.fileTypes[later - 1].identifier.value_or("")) +
                                       "; row " + std::to_string(later) + " is never used"});
  }
  Checker check(*codec, problems);
  if (settingsOk) {
    checkIndexPageName(stored.indexPageName, problems);
    rules.indexPageName = stored.indexPageName;
    rules.settings.endOfLineTag =
        check.text(stored.endOfLineTag, "GlobalDefs row \"EndofLine\"", "Content").value_or("");
    rules.settings.header =
        check.text(stored.header, "GlobalDefs row \"Header\"", "Content").value_or("");
    rules.settings.footer =
        check.text(stored.footer, "GlobalDefs row \"Footer\"", "Content").value_or("");
    if (auto warning = headerCharsetWarning(rules.settings.header, *codec)) {
      warnings_.push_back({WarningKind::CharsetMismatch, std::move(*warning)});
    }
  }
  return true;
}

void RulesCompiler::compile(const FilesByExtension& files, CompiledRules& rules) {
  Checker check(*rules.codec, problems_);
  prepareFileTypes(rules, files, tables_, check);
  compileConstraints(
      tables_, *rules.codec,
      [&rules](const std::string& fileType) {
        return fileType == kGenericFileType || rules.rulesByExtension.count(fileType) != 0;
      },
      check, warnings_,
      [&rules](CompiledConstraint&& row) {
        const bool generic = row.fileType == kGenericFileType;
        for (auto& [extension, pageRules] : rules.rulesByExtension) {
          if (generic || extension == row.fileType) pageRules.constraints.push_back(row);
        }
      });
}

std::vector<CompiledConstraint> RulesCompiler::constraintsOf(const std::string& fileType,
                                                             const CompiledRules& rules) {
  Checker check(*rules.codec, problems_);
  std::vector<CompiledConstraint> rows;
  compileConstraints(
      tables_, *rules.codec,
      [&fileType](const std::string& type) { return type == kGenericFileType || type == fileType; },
      check, warnings_, [&rows](CompiledConstraint&& row) { rows.push_back(std::move(row)); });
  return rows;
}

const TextCodec* chooseCodec(const std::optional<std::string>& override,
                             const std::optional<std::string>& stored,
                             std::vector<Problem>& problems) {
  const auto name = chooseSetting(SettingId::Encoding, override, stored, problems);
  return name ? codecByName(*name) : nullptr;
}

CompiledConstraint compileDraft(const ConstraintDraft& draft, const TextCodec& codec) {
  CompiledConstraint row;
  row.type = static_cast<ConstraintType>(draft.type);
  row.fileType = codec.fromStore(draft.fileType, "The file type");
  row.searchString = codec.fromStore(draft.searchString, "The first field");
  row.replaceString = codec.fromStore(draft.replaceString, "The second field");
  row.rFirst = codec.fromStore(draft.rFirst, "The third field");
  row.rLast = codec.fromStore(draft.rLast, "The fourth field");
  row.caseSensitive = draft.caseSensitive;
  trimSearchReplace(row);
  if (row.type == ConstraintType::PatternReplace) {
    std::string why;
    row.pattern =
        PatternRow::compile(row.searchString, row.replaceString, row.caseSensitive, codec, why);
    if (!row.pattern) throw LoomError(ErrorKind::Usage, "This pattern cannot be used: " + why);
  }
  return row;
}

std::vector<std::pair<std::size_t, std::size_t>> repeatedFileTypes(
    const std::vector<FileTypeRecord>& rows, const TextCodec& codec) {
  std::vector<std::optional<std::string>> ids;
  std::vector<std::pair<std::size_t, std::size_t>> repeated;
  for (std::size_t later = 0; later < rows.size(); ++later) {
    ids.push_back(keyInRunEncoding(rows[later].identifier, codec));
    if (!ids.back()) continue;
    for (std::size_t first = 0; first < later; ++first) {
      if (ids[first] && codec.equalNoCase(*ids[first], *ids.back())) {
        repeated.emplace_back(first + 1, later + 1);
        break;
      }
    }
  }
  return repeated;
}

std::vector<Problem> checkFileTypeRow(const FileTypeRecord& row, const TextCodec& codec) {
  std::vector<Problem> problems;
  Checker check(codec, problems);
  std::optional<std::string> group;
  fileTypeRules(row, "FileTypes row " + quoted(row.identifier.value_or("")), check, group);
  return problems;
}

std::vector<Problem> checkGroupRow(const GroupRecord& row, const TextCodec& codec) {
  std::vector<Problem> problems;
  Checker check(codec, problems);
  groupTexts(row, check);
  return problems;
}

std::vector<Problem> checkConstraintRow(const StoredConstraint& row, const TextCodec& codec) {
  std::vector<Problem> problems;
  Checker check(codec, problems);
  std::vector<PlanWarning> warnings;
  prepareRow(row, row.fileType.value_or(""), codec, check, warnings);
  // A row of an unknown Type is not refused but ignored, with a message.
  for (PlanWarning& w : warnings) check.columnProblem("Type", std::move(w.message));
  return problems;
}

}  // namespace loom
