// SPDX-License-Identifier: MIT
#pragma once
// Why a file converts the way it does: which rule changed which line, and
// which rules apply to the file but never changed anything. Writes nothing.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_plan.h"
#include "base/file_system.h"

namespace loom {

struct RuleStep {
  const CompiledConstraint* row;
  std::string after;  // the line after this row changed it
};

struct LineTrace {
  std::size_t lineNumber = 0;
  std::string before;
  std::vector<RuleStep> steps;  // only rows that changed the line
};

struct Explanation {
  // Kept where it is, since the steps and neverFired point into its rules;
  // so an explanation can be moved but not copied.
  std::unique_ptr<const BatchPlan> plan;
  std::string path;       // the file as given
  std::string extension;  // its file type
  std::vector<LineTrace> changedLines;
  std::string title;
  std::optional<std::string> pageName;
  std::vector<const CompiledConstraint*> neverFired;  // applied to no line
  std::vector<std::string> ignoredRows;  // rows with a Type other than 1 to 5, with the reason
  std::vector<std::string> samePage;     // other files of its directory that give the same page
};

// Converts the file at `path` in memory with the rules of `request` and
// records every change. Problems of the rules for this file are thrown as
// ValidationError, like a run's check.
Explanation explainFile(const PlanRequest& request, const std::string& path, const FileSystem& fs);

// The explanation as UTF-8 text for a terminal; spaces in rule texts and
// lines are shown as "·" so that leading and trailing ones can be seen.
std::string formatExplanation(const Explanation& explanation);

// The name of a constraint kind, as the Constraint Form shows it.
const char* kindName(ConstraintType kind);

}  // namespace loom
