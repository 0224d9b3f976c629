// SPDX-License-Identifier: MIT
#pragma once
// Warnings about text settings that do not fit the run's text: said once per
// run (or once per file, summed up when many files have it), in the run and
// in the check alike, so that a user learns of them before the pages are
// read in a browser.

#include <string>
#include <string_view>
#include <vector>

#include "app/rules_compiler.h"
#include "convert/source_facts.h"

namespace loom {

// A warning when the Header declares a charset other than the one the pages
// are written in, or none while they are written in UTF-8 (browsers then
// assume Windows-1252). `header` is in the run's encoding. Nothing when the
// declaration fits.
std::optional<std::string> headerCharsetWarning(std::string_view header, const TextCodec& codec);

// The setting a warning about the text names, and the value that answers
// it: a lone LF in the text asks for LineEnds any, markup in the text for
// EscapeText yes, UTF-8 text in a Windows-1252 run for Encoding utf-8.
struct SettingFix {
  SettingId setting;
  const char* value;
};
std::optional<SettingFix> settingFixFor(WarningKind kind);

// Gathers what the files of a run say about LineEnds, EscapeText and
// Encoding, in file order, and words it as warnings.
class SourceWarnings {
 public:
  explicit SourceWarnings(const CompiledRules& rules);
  // Whether the files need looking at at all, and for what.
  bool wanted() const { return lineFeeds_ || markup_ || utf8_ || invalidUtf8_; }
  SourceLook look() const {
    return {.markup = markup_, .utf8 = utf8_, .invalidUtf8 = invalidUtf8_};
  }
  // The warning of one file's bytes that are not UTF-8 in a UTF-8 run, said
  // as the file is done rather than summed up.
  static std::optional<std::string> invalidText(const std::string& path, const SourceFacts& facts);
  void add(const std::string& path, const SourceFacts& facts);
  std::vector<PlanWarning> warnings() const;

 private:
  const TextCodec& codec_;
  bool lineFeeds_;
  bool markup_;
  bool utf8_;         // a Windows-1252 run: UTF-8 text is worth a hint
  bool invalidUtf8_;  // a UTF-8 run: bytes that are not UTF-8 are worth a warning
  std::vector<std::string> lineFeedFiles_;
  std::size_t markupFiles_ = 0;
  std::string firstMarkupFile_;
  MarkupSample firstMarkup_;
  std::size_t utf8Files_ = 0;
  std::string firstUtf8File_;
  std::int64_t firstUtf8Line_ = 0;
};

}  // namespace loom
