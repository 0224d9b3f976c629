// SPDX-License-Identifier: MIT
#include "app/explain.h"

#include <set>

#include "base/error.h"
#include "base/text.h"
#include "convert/convert_file.h"
#include "convert/pattern_row.h"

namespace loom {
namespace {

std::string visible(const TextCodec& codec, std::string_view bytes) {
  std::string out;
  for (char c : codec.toStore(bytes)) {
    if (c == ' ') {
      out += "\xC2\xB7";  // ·
    } else if (c == '\t') {
      out += "\xE2\x86\x92";  // →
    } else {
      out += c;
    }
  }
  return "\xC2\xAB" + out + "\xC2\xBB";  // «...»: quotes in rule texts stay readable
}

std::string describe(const TextCodec& codec, const CompiledConstraint& row) {
  std::string text = "row " + std::to_string(row.position) + " (" + row.fileType + ", " +
                     std::to_string(static_cast<int>(row.type)) + " " + kindName(row.type) + "): ";
  switch (row.type) {
    case ConstraintType::SearchReplace:
    case ConstraintType::HeaderLine:
      text += visible(codec, row.searchString) + " -> " + visible(codec, row.replaceString);
      break;
    case ConstraintType::RemoveBlock:
      text +=
          "from " + visible(codec, row.searchString) + " to " + visible(codec, row.replaceString);
      break;
    case ConstraintType::ReplaceFormatting:
      text += visible(codec, row.searchString) + " ... " + visible(codec, row.replaceString) +
              " -> " + visible(codec, row.rFirst) + " ... " + visible(codec, row.rLast);
      break;
    case ConstraintType::PatternReplace:
      text += "pattern " + visible(codec, row.searchString) + " -> " +
              visible(codec, row.replaceString);
      break;
  }
  if (row.type != ConstraintType::HeaderLine) {
    text += row.caseSensitive ? ", case-sensitive" : ", any case";
  }
  return text;
}

}  // namespace

const char* kindName(ConstraintType kind) {
  switch (kind) {
    case ConstraintType::SearchReplace:
      return "Search & Replace";
    case ConstraintType::RemoveBlock:
      return "Remove blocks of text";
    case ConstraintType::ReplaceFormatting:
      return "Replace Formatting";
    case ConstraintType::HeaderLine:
      return "Identify Header Lines";
    case ConstraintType::PatternReplace:
      return "Replace a Pattern";
  }
  return "unknown";
}

namespace {

// Gathers, line by line, which rows changed the file's lines.
class Tracer : public ConvertTrace {
 public:
  Tracer(const PageRules& rules, std::vector<LineTrace>& lines) : rules_(rules), lines_(lines) {}

  void rowChanged(std::int64_t lineNumber, std::string_view source, std::size_t row,
                  std::string_view after) override {
    const auto number = static_cast<std::size_t>(lineNumber);
    if (lines_.empty() || lines_.back().lineNumber != number) {
      lines_.push_back({number, std::string(source), {}});
    }
    lines_.back().steps.push_back({&rules_.constraints[row], std::string(after)});
    fired_.insert(row);
  }
  bool fired(std::size_t row) const { return fired_.count(row) != 0; }

 private:
  const PageRules& rules_;
  std::vector<LineTrace>& lines_;
  std::set<std::size_t> fired_;
};

}  // namespace

Explanation explainFile(const PlanRequest& request, const std::string& path, const FileSystem& fs) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const PathKind kind = fs.kind(path);
  if (kind == PathKind::Missing) {
    throw LoomError(ErrorKind::Io, "File \"" + path + "\" does not exist");
  }
  if (kind != PathKind::RegularFile) {
    throw LoomError(ErrorKind::Io,
                    "\"" + path + "\" is not a plain file, so it cannot be explained");
  }
  Explanation ex;
  ex.plan = std::make_unique<const BatchPlan>(planExplain(request, dir, {name}));
  ex.path = path;
  const BatchPlan& plan = *ex.plan;
  const InputFile& file = plan.files.front();
  ex.extension = plan.extensionOf(file);
  if (file.hasPage()) ex.pageName = *file.pageName();
  if (ex.pageName) {
    try {
      for (const std::string& other : fs.listPlainFiles(dir).names) {
        const bool typed = other.find('.') != std::string::npos || plan.rules.hasGenericType;
        if (other != name && typed && pageNameFor(other, plan.rules.pageNaming) == ex.pageName)
          ex.samePage.push_back(other);
      }
    } catch (const LoomError&) {
      // A directory that cannot be listed has no other files to tell of.
    }
  }
  for (const PlanWarning& w : plan.warnings) {
    if (w.kind == WarningKind::ErrorCondition) ex.ignoredRows.push_back(w.message);
  }
  if (!file.hasPage()) return ex;

  const PageRules& rules = plan.rules.rulesByExtension.at(ex.extension);
  Tracer tracer(rules, ex.changedLines);
  ex.title =
      ConvertFile(fs.readFile(path), path, rules, plan.rules.settings, *plan.rules.codec, &tracer)
          .title;
  for (std::size_t row = 0; row < rules.constraints.size(); ++row) {
    if (!tracer.fired(row)) ex.neverFired.push_back(&rules.constraints[row]);
  }
  return ex;
}

std::string formatExplanation(const Explanation& ex) {
  const TextCodec& codec = *ex.plan->rules.codec;
  std::string out = "File: " + ex.path + "\n";
  if (!ex.pageName) {
    return out +
           "It has no \".\" in its name and the rules have no file type GEN, so it has no file "
           "type: a run skips it.\n";
  }
  const PageRules& rules = ex.plan->rules.rulesByExtension.at(ex.extension);
  const bool generic = ex.plan->rules.genericExtensions.count(ex.extension) != 0;
  const std::string why = generic
                              ? " (FileTypes has no row for " + visible(codec, ex.extension) + ")"
                          : ex.path.substr(ex.path.rfind('/') + 1).find('.') == std::string::npos
                              ? " (its name has no \".\")"
                              : "";
  out += "File type: FileTypes row " + visible(codec, generic ? "GEN" : ex.extension) + why +
         ": Title Line " + std::to_string(rules.titleLine) + ", BeginSection " +
         visible(codec, rules.beginSection) + ", EndSection " + visible(codec, rules.endSection) +
         ", GroupID " + visible(codec, ex.plan->rules.groupByExtension.at(ex.extension)) + "\n";
  if (!ex.samePage.empty()) {
    out += "Page " + *ex.pageName + " is also the page of";
    for (const std::string& other : ex.samePage) out += " \"" + other + "\"";
    out +=
        " in the same directory: in a run the later file's page replaces the others, and "
        "every file keeps its index entry\n";
  }
  out += "Encoding: " + std::string(codec.name()) + "\n";
  out += "Line ends: " + std::string(lineEndsName(ex.plan->rules.settings.lineEnds)) +
         (ex.plan->rules.settings.lineEnds == LineEnds::Any
              ? " (CR LF, CR or LF)\n"
              : " (CR LF or CR; an LF stays in the line)\n");
  out += std::string("Escape text: ") +
         (ex.plan->rules.settings.escapeText
              ? "yes (& < > of the text are written as &amp; &lt; &gt;)\n"
              : "no (the text is copied as it is)\n");
  out += std::string("Lines: ") +
         (ex.plan->rules.settings.lines == LineLayout::Keep
              ? "keep (leading blanks and blank lines stay)\n"
              : "trim (spaces around each line go, blank lines are dropped)\n");
  out += std::string("Page names: ") + (ex.plan->rules.pageNaming == PageNaming::Full
                                            ? "full (the file name + \".html\")\n"
                                            : "short (\"lw\" + six characters)\n");
  out += "Rows that apply, in stored order: " + std::to_string(rules.constraints.size()) + "\n";
  for (const LineTrace& trace : ex.changedLines) {
    out += "\nLine " + std::to_string(trace.lineNumber) + ":\n";
    out += "  before: " + visible(codec, trace.before) + "\n";
    std::string_view prior = trace.before;
    for (const RuleStep& step : trace.steps) {
      out += "  " + describe(codec, *step.row) + "\n";
      if (step.row->pattern) {  // what the first match and its groups took
        const std::vector<std::string> groups = step.row->pattern->firstMatch(prior);
        for (std::size_t g = 0; g < groups.size(); ++g)
          out += (g == 0 ? "      first match \\0 " : "      group \\" + std::to_string(g) + " ") +
                 visible(codec, groups[g]) + "\n";
      }
      out += "      -> " + visible(codec, step.after) + "\n";
      prior = step.after;
    }
  }
  if (ex.changedLines.empty()) out += "\nNo rule changed any line.\n";
  out += "\nTitle: " + codec.toStore(ex.title) + "\n";
  out += "Page name: " + *ex.pageName + "\n";
  out += "\nNever fired (apply to this file but changed no line): " +
         std::to_string(ex.neverFired.size()) + "\n";
  for (const CompiledConstraint* row : ex.neverFired) out += "  " + describe(codec, *row) + "\n";
  if (!ex.ignoredRows.empty()) {
    out += "\nIgnored (Error condition):\n";
    for (const std::string& reason : ex.ignoredRows) out += "  " + reason + "\n";
  }
  return out;
}

}  // namespace loom
