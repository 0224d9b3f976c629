#include "app/run_plan.h"

#include <algorithm>
#include <set>

#include "app/source_warnings.h"
#include "base/text.h"
#include "rules/global_settings.h"
#include "rules/rule_tables.h"

namespace loom {
namespace {

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

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

void checkDirectories(const DirectoryPair& dirs, const FileSystem& fs,
                      std::vector<Problem>& problems) {
  const PathKind in = fs.kind(dirs.input);
  if (in == PathKind::Missing) {
    problems.push_back(
        {ErrorKind::Io, "Input directory " + quoted(dirs.input) + " does not exist"});
  } else if (in != PathKind::Directory) {
    problems.push_back(
        {ErrorKind::Io, "Input directory " + quoted(dirs.input) + " is not a directory"});
  }
  const PathKind out = fs.kind(dirs.output);
  if (out == PathKind::Missing) {
    problems.push_back({ErrorKind::Io,
                        "Output directory " + quoted(dirs.output) + " does not exist",
                        Missing::OutputDirectory, dirs.output});
  } else if (out != PathKind::Directory) {
    problems.push_back(
        {ErrorKind::Io, "Output directory " + quoted(dirs.output) + " is not a directory"});
  } else if (!fs.isWritableDirectory(dirs.output)) {
    problems.push_back(
        {ErrorKind::Io, "Output directory " + quoted(dirs.output) + " cannot be written"});
  }
}

// An optional setting's value for this run: the run's own override, else the
// stored row, else `fallback` (what stored databases without the row were
// written for). A value `parse` does not know is a problem naming where it
// came from: the option (a usage error) or the GlobalDefs row.
template <typename T, typename Parse>
std::optional<T> chooseSetting(const std::optional<std::string>& override,
                               const std::optional<std::string>& stored, const char* key,
                               const char* optionWords, const char* choices, T fallback,
                               Parse parse, std::vector<Problem>& problems) {
  if (override) {
    if (std::optional<T> value = parse(*override)) return value;
    problems.push_back({ErrorKind::Usage, std::string("Unknown ") + optionWords + " " +
                                              quoted(*override) + "; use " + choices});
    return std::nullopt;
  }
  if (!stored) return fallback;
  if (std::optional<T> value = parse(*stored)) return value;
  problems.push_back({ErrorKind::Rules, std::string("GlobalDefs row \"") + key + "\": Content " +
                                            quoted(*stored) + " is not " + choices});
  return std::nullopt;
}

std::optional<const TextCodec*> codecNamed(std::string_view name) {
  if (const TextCodec* codec = codecByName(std::string(trimSpaces(name)))) return codec;
  return std::nullopt;
}

const TextCodec* chooseCodec(const PlanRequest& request, const GlobalSettings& settings,
                             std::vector<Problem>& problems) {
  return chooseSetting(request.encoding, settings.encoding, kEncodingKey, "encoding",
                       "windows-1252 or utf-8", &windows1252Codec(), codecNamed, problems)
      .value_or(nullptr);
}

// The run's line ends and escaping; a bad value adds a problem and leaves the
// default in place, so that the rest of the check still runs.
void chooseTextSettings(const PlanRequest& request, const GlobalSettings& stored, RunPlan& plan,
                        std::vector<Problem>& problems) {
  plan.settings.lineEnds =
      chooseSetting(request.lineEnds, stored.lineEnds, kLineEndsKey, "line ends", "crlf or any",
                    LineEnds::CrLf, lineEndsByName, problems)
          .value_or(LineEnds::CrLf);
  plan.settings.escapeText =
      chooseSetting(request.escapeText, stored.escapeText, kEscapeTextKey, "escape-text value",
                    "yes or no", false, yesNoByName, problems)
          .value_or(false);
  plan.escapeTextChosen = request.escapeText.has_value() || stored.escapeText.has_value();
}

// A name as it can be shown in one message line: control characters, NUL
// among them, as escapes.
std::string visible(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

void checkIndexPageName(const std::string& name, std::vector<Problem>& problems) {
  constexpr std::size_t kLongestName = 255;  // NAME_MAX of the common file systems
  const std::string where = "GlobalDefs row \"IndexPageName\": " + quoted(visible(name));
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

// What would make the run fail after it has written pages, found before
// any: an input file that cannot be read or is no plain file any more, and a
// directory (or other non-file) where a page or the index page must go.
void checkRunTargets(const RunPlan& plan, const FileSystem& fs, std::vector<Problem>& problems) {
  for (const InputFile& file : plan.files) {
    if (!file.hasPage()) continue;
    const std::string path = plan.dirs.input + file.name;
    if (!fs.isReadableFile(path)) {
      problems.push_back({ErrorKind::Io, "Input file " + quoted(path) +
                                             " cannot be read (no permission, or not a plain file "
                                             "any more)"});
    }
  }
  std::set<std::string> targets;
  for (const InputFile& file : plan.files) {
    if (auto page = file.pageName()) targets.insert(std::move(*page));
  }
  if (!plan.indexPageName.empty()) targets.insert(plan.indexPageName);
  for (const std::string& name : targets) {
    const std::string path = plan.dirs.output + name;
    const PathKind kind = fs.entryKind(path);
    if (kind == PathKind::Directory || kind == PathKind::Other) {
      problems.push_back({ErrorKind::Io, "Output directory holds " +
                                             std::string(kind == PathKind::Directory
                                                             ? "a directory"
                                                             : "something that is not a file") +
                                             " named " + quoted(visible(name)) +
                                             ", where the run must write a page; move it away"});
    }
  }
}

// Two files whose names give one page: the later file's page replaces the
// earlier's, and both keep their index entry; said once per pair.
void warnPageNameCollisions(RunPlan& plan) {
  std::map<std::string, const InputFile*> previous;
  for (const InputFile& file : plan.files) {
    std::optional<std::string> page = file.pageName();
    if (!page) continue;
    const auto [it, first] = previous.emplace(*page, &file);
    if (first) continue;
    plan.warnings.push_back({WarningKind::PageNameCollision,
                             "Files " + quoted(plan.dirs.input + it->second->name) + " and " +
                                 quoted(plan.dirs.input + file.name) + " both give the page " +
                                 quoted(*page) + "; the page of the later, " + quoted(file.name) +
                                 ", replaces the other's, and both keep their index entry"});
    it->second = &file;
  }
}

// The index page is written last, over whatever has its name: never over a
// page of the same run, nor over an input file when input and output are one
// directory (compared as files, so "d" and "d/." are one).
void checkIndexPageTarget(const RunPlan& plan, const FileSystem& fs,
                          std::vector<Problem>& problems) {
  if (plan.indexPageName.empty()) return;
  const std::string where = "GlobalDefs row \"IndexPageName\": " + quoted(plan.indexPageName);
  for (const InputFile& file : plan.files) {
    if (file.pageName() == plan.indexPageName) {
      problems.push_back({ErrorKind::Rules, where + " is also the page of the file " +
                                                quoted(plan.dirs.input + file.name) +
                                                "; the index page would replace it"});
      break;
    }
  }
  const auto input = fs.identity(plan.dirs.input);
  if (!input || input != fs.identity(plan.dirs.output)) return;
  for (const InputFile& file : plan.files) {
    if (file.name == plan.indexPageName) {
      problems.push_back({ErrorKind::Rules, where + " is the name of the input file " +
                                                quoted(plan.dirs.input + file.name) +
                                                "; the index page would replace it"});
    }
  }
}

// Why a stored value that should be a whole number is not one, naming how
// it is stored when that is the reason.
std::string notAWholeNumber(const StoredValue& value) {
  if (value.type == SQLITE_BLOB) {
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

void prepareFileTypes(RunPlan& plan, const RuleTables& tables, Checker& check) {
  std::map<std::string, std::vector<std::string>> filesByExtension;
  for (const InputFile& file : plan.files) {
    if (file.hasPage()) filesByExtension[plan.extensionOf(file)].push_back(file.name);
  }
  std::set<std::string> usedGroups;
  for (const auto& [extension, names] : filesByExtension) {
    const FileTypeRecord* row = nullptr;
    for (const FileTypeRecord& r : tables.fileTypes) {
      const std::optional<std::string> id = keyInRunEncoding(r.identifier, *plan.codec);
      if (id && plan.codec->equalNoCase(*id, extension)) {
        row = &r;
        break;
      }
    }
    if (row == nullptr) {
      std::string example = quoted(names.front());
      if (names.size() > 1) example += " and " + std::to_string(names.size() - 1) + " more";
      check.problem(
          ErrorKind::Rules,
          "FileTypes has no row for " + quoted(extension) + " (needed by file " + example + ")",
          Missing::FileTypesRow, plan.codec->toStore(extension));
      continue;
    }
    std::optional<std::string> group;
    PageRules rules = fileTypeRules(*row, "FileTypes row " + quoted(extension), check, group);
    if (group) {
      usedGroups.insert(*group);
      plan.groupByExtension[extension] = std::move(*group);
    }
    plan.rulesByExtension[extension] = std::move(rules);
  }

  // Groups: every named group needs a row (an empty group needs none).
  for (const GroupRecord& g : tables.groups) {
    const std::optional<std::string> id = keyInRunEncoding(g.groupId, *plan.codec);
    if (!id) continue;
    bool needed = false;
    for (const std::string& used : usedGroups)
      needed = needed || plan.codec->equalNoCase(*id, used);
    if (!needed || plan.findGroup(*id)) continue;
    plan.groups.emplace_back(*id, groupTexts(g, check));
  }
  for (const std::string& used : usedGroups) {
    if (used.empty() || plan.findGroup(used)) continue;
    std::string users;
    for (const auto& [extension, group] : plan.groupByExtension) {
      if (group == used) users += (users.empty() ? "" : ", ") + quoted(extension);
    }
    check.problem(
        ErrorKind::Rules,
        "Groups has no row for " + quoted(used) + " (named by FileTypes row " + users + ")",
        Missing::GroupsRow, plan.codec->toStore(used));
  }
}

std::string describeRow(const ConstraintRecord& r) {
  return "Constraints row " + std::to_string(r.position) + " (FileType " +
         quoted(r.fileType.value_or("")) + ")";
}

// The row prepared in the run's encoding, or nothing when it cannot be used:
// a Type other than 1 to 4 is a warning (the row is ignored), a missing or
// unusable field a problem.
std::optional<PreparedConstraint> prepareRow(const ConstraintRecord& r, const std::string& fileType,
                                             const TextCodec& codec, Checker& check,
                                             std::vector<PlanWarning>& warnings) {
  const std::string where = describeRow(r);
  const auto type = r.type.asInteger();
  if (!type || *type < 1 || *type > 4) {
    warnings.push_back({WarningKind::ErrorCondition,
                        where + ": Type " +
                            (r.type.isNull() ? "is empty (NULL)" : quoted(*r.type.asText())) +
                            " is not 1 to 4; the row is ignored"});
    return std::nullopt;
  }
  PreparedConstraint row;
  row.position = r.position;
  row.fileType = fileType;
  row.kind = static_cast<ConstraintType>(*type);
  bool ok = true;
  auto need = [&](const Text& value, const char* column, std::string& into) {
    if (auto t = check.text(value, where, column)) {
      into = std::move(*t);
    } else {
      ok = false;
    }
  };
  need(r.searchString, "Search String", row.search);
  need(r.replaceString, "Replace String", row.replace);
  if (row.kind == ConstraintType::ReplaceFormatting) {
    need(r.rFirst, "RFirst", row.front);
    need(r.rLast, "RLast", row.back);
  }
  if (row.kind != ConstraintType::HeaderLine) {
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
                                (r.caseSensitive.type == SQLITE_FLOAT
                                     ? quoted(t) + " is not 0 or 1"
                                     : notAWholeNumber(r.caseSensitive) + " (0 or 1)"));
        ok = false;
      }
    }
  }
  if (row.kind == ConstraintType::SearchReplace && ok) {
    row.search = std::string(trimSpaces(row.search));
    row.replace = std::string(trimSpaces(row.replace));
    if (row.search.empty()) {
      check.columnProblem("Search String", where +
                                               ": Search String is empty or only spaces; a "
                                               "search and replace row needs a text to find");
      ok = false;
    }
  }
  if (!ok) return std::nullopt;
  return row;
}

void prepareConstraints(RunPlan& plan, const RuleTables& tables, Checker& check) {
  for (const ConstraintRecord& r : tables.constraints) {
    const std::optional<std::string> fileType = keyInRunEncoding(r.fileType, *plan.codec);
    if (!fileType) continue;
    const bool generic = *fileType == kGenericFileType;
    if (!generic && plan.rulesByExtension.count(*fileType) == 0) continue;
    const auto row = prepareRow(r, *fileType, *plan.codec, check, plan.warnings);
    if (!row) continue;
    for (auto& [extension, rules] : plan.rulesByExtension) {
      if (generic || extension == *fileType) rules.constraints.push_back(*row);
    }
  }
}

}  // namespace

std::optional<GroupTexts> RunPlan::findGroup(const std::string& group) const {
  for (const auto& [id, texts] : groups) {
    if (codec->equalNoCase(id, group)) return texts;
  }
  return std::nullopt;
}

namespace {

// Reads the tables and the settings and picks the codec of the run. Returns
// false when the rules cannot be read at all, so nothing more can be checked.
bool loadRules(const PlanRequest& request, RunPlan& plan, RuleTables& tables,
               std::vector<Problem>& problems) {
  try {
    tables = readRuleTables(request.rulesPath);
  } catch (const LoomError& e) {
    problems.push_back({e.kind(), e.what()});
    return false;
  }
  // Each setting on its own, so that every missing row is reported at once.
  GlobalSettings stored;
  auto setting = [&](const char* key, std::string& into) {
    try {
      into = *settingFrom(tables, key, request.rulesPath);
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
  for (auto [key, into] :
       {std::pair{kEncodingKey, &stored.encoding}, std::pair{kLineEndsKey, &stored.lineEnds},
        std::pair{kEscapeTextKey, &stored.escapeText}}) {
    try {
      *into = settingFrom(tables, key, request.rulesPath, /*optional=*/true);
    } catch (const LoomError& e) {
      problems.push_back({e.kind(), e.what()});
    }
  }
  chooseTextSettings(request, stored, plan, problems);
  const TextCodec* codec = chooseCodec(request, stored, problems);
  if (codec == nullptr) return false;
  plan.codec = codec;
  Checker check(*codec, problems);
  if (settingsOk) {
    checkIndexPageName(stored.indexPageName, problems);
    plan.indexPageName = stored.indexPageName;
    plan.settings.endOfLineTag =
        check.text(stored.endOfLineTag, "GlobalDefs row \"EndofLine\"", "Content").value_or("");
    plan.settings.header =
        check.text(stored.header, "GlobalDefs row \"Header\"", "Content").value_or("");
    plan.settings.footer =
        check.text(stored.footer, "GlobalDefs row \"Footer\"", "Content").value_or("");
    if (auto warning = headerCharsetWarning(plan.settings.header, *codec)) {
      plan.warnings.push_back({WarningKind::CharsetMismatch, std::move(*warning)});
    }
  }
  return true;
}

void addFiles(RunPlan& plan, std::vector<std::string> names) {
  plan.files.reserve(plan.files.size() + names.size());
  std::map<std::string, std::uint32_t> known;
  for (std::size_t k = 0; k < plan.extensions.size(); ++k) {
    known.emplace(plan.extensions[k], static_cast<std::uint32_t>(k));
  }
  for (std::string& name : names) {
    InputFile file;
    const auto [it, added] = known.emplace(fileExtension(name, *plan.codec),
                                           static_cast<std::uint32_t>(plan.extensions.size()));
    if (added) plan.extensions.push_back(it->first);
    file.extension = it->second;
    file.name = std::move(name);
    if (!file.hasPage()) {
      plan.warnings.push_back({WarningKind::SkippedFile,
                               "File " + quoted(plan.dirs.input + file.name) +
                                   " has no \".\" in its name, so it has no file type; skipped"});
    }
    plan.files.push_back(std::move(file));
  }
}

}  // namespace

namespace {

// The rules of the plan's files, compiled for the run; every problem found
// on the way, also those found before, is thrown at once.
RunPlan prepareRules(RunPlan plan, const RuleTables& tables, std::vector<Problem>& problems) {
  Checker check(*plan.codec, problems);
  prepareFileTypes(plan, tables, check);
  prepareConstraints(plan, tables, check);
  for (auto& [extension, rules] : plan.rulesByExtension) compileRows(rules, *plan.codec);
  if (!problems.empty()) throw ValidationError(std::move(problems));
  return plan;
}

}  // namespace

RunPlan planRun(const PlanRequest& request, const FileSystem& fs) {
  RunPlan plan;
  plan.dirs = request.dirs;
  std::vector<Problem> problems;
  checkDirectories(plan.dirs, fs, problems);
  RuleTables tables;
  if (!loadRules(request, plan, tables, problems)) throw ValidationError(std::move(problems));
  if (fs.kind(plan.dirs.input) == PathKind::Directory) {
    try {
      addFiles(plan, fs.listPlainFiles(plan.dirs.input));
    } catch (const LoomError& e) {
      problems.push_back({e.kind(), e.what()});
    }
  }
  checkIndexPageTarget(plan, fs, problems);
  checkRunTargets(plan, fs, problems);
  warnPageNameCollisions(plan);
  return prepareRules(std::move(plan), tables, problems);
}

std::vector<PreparedConstraint> constraintsFor(const RuleTables& tables, const TextCodec& codec,
                                               const std::string& extension,
                                               std::vector<Problem>& problems,
                                               std::vector<PlanWarning>& warnings) {
  Checker check(codec, problems);
  std::vector<PreparedConstraint> rows;
  for (const ConstraintRecord& r : tables.constraints) {
    const std::optional<std::string> fileType = keyInRunEncoding(r.fileType, codec);
    if (!fileType || (*fileType != kGenericFileType && *fileType != extension)) continue;
    if (auto row = prepareRow(r, *fileType, codec, check, warnings))
      rows.push_back(std::move(*row));
  }
  return rows;
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

std::vector<Problem> checkConstraintRow(const ConstraintRecord& row, const TextCodec& codec) {
  std::vector<Problem> problems;
  Checker check(codec, problems);
  std::vector<PlanWarning> warnings;
  prepareRow(row, row.fileType.value_or(""), codec, check, warnings);
  // A row of an unknown Type is not refused but ignored, with a message.
  for (PlanWarning& w : warnings) check.columnProblem("Type", std::move(w.message));
  return problems;
}

RunPlan planFiles(const PlanRequest& request, const std::string& inputDir,
                  std::vector<std::string> names) {
  RunPlan plan;
  plan.dirs.input = inputDir;
  std::vector<Problem> problems;
  RuleTables tables;
  if (!loadRules(request, plan, tables, problems)) throw ValidationError(std::move(problems));
  addFiles(plan, std::move(names));
  return prepareRules(std::move(plan), tables, problems);
}

}  // namespace loom
