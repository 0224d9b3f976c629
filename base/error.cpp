// SPDX-License-Identifier: MIT
#include "base/error.h"

namespace loom {
namespace {

std::string joinMessages(const std::vector<Problem>& problems) {
  std::string text;
  for (const Problem& p : problems) {
    if (!text.empty()) text += '\n';
    text += p.message;
  }
  return text;
}

ErrorKind worstKind(const std::vector<Problem>& problems) {
  // Usage problems come first, then rule problems: mending the call or the
  // rules usually makes the I/O problems go away too.
  ErrorKind kind = ErrorKind::Io;
  for (const Problem& p : problems) {
    if (p.kind == ErrorKind::Usage) return ErrorKind::Usage;
    if (p.kind == ErrorKind::Rules) kind = ErrorKind::Rules;
  }
  return kind;
}

}  // namespace

ValidationError::ValidationError(std::vector<Problem> problems)
    : LoomError(worstKind(problems), joinMessages(problems)), problems_(std::move(problems)) {}

}  // namespace loom
