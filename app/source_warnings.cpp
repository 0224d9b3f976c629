// SPDX-License-Identifier: MIT
#include "app/source_warnings.h"

#include <array>
#include <cctype>

#include "base/text.h"

namespace loom {
namespace {

// The charset a Header declares (in a <meta charset=...> or a Content-Type's
// "charset=..."), lower-cased; empty when it declares none.
std::string declaredCharset(std::string_view header) {
  const std::string folded = asciiLower(header);
  for (std::size_t at = folded.find("charset"); at != std::string::npos;
       at = folded.find("charset", at + 1)) {
    std::size_t i = at + 7;
    while (i < folded.size() && (folded[i] == ' ' || folded[i] == '\t')) ++i;
    if (i >= folded.size() || folded[i] != '=') continue;
    ++i;
    while (i < folded.size() && (folded[i] == ' ' || folded[i] == '"' || folded[i] == '\'')) ++i;
    std::size_t end = i;
    while (end < folded.size() &&
           (std::isalnum(static_cast<unsigned char>(folded[end])) ||
            std::string_view("-_.:").find(folded[end]) != std::string_view::npos)) {
      ++end;
    }
    if (end > i) return folded.substr(i, end - i);
  }
  return {};
}

// The encoding a browser reads a label as: browsers take Latin-1 and ASCII
// labels for Windows-1252.
std::string_view browserEncoding(std::string_view label) {
  static constexpr std::array<std::string_view, 6> utf8 = {
      "utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8"};
  static constexpr std::array<std::string_view, 17> windows1252 = {
      "windows-1252", "cp1252", "x-cp1252",    "iso-8859-1", "iso8859-1",      "iso_8859-1",
      "iso88591",     "latin1", "l1",          "us-ascii",   "ascii",          "ansi_x3.4-1968",
      "cp819",        "ibm819", "csisolatin1", "iso-ir-100", "iso_8859-1:1987"};
  for (std::string_view name : utf8) {
    if (label == name) return "utf-8";
  }
  for (std::string_view name : windows1252) {
    if (label == name) return "windows-1252";
  }
  return label;
}

}  // namespace

std::optional<SettingFix> settingFixFor(WarningKind kind) {
  switch (kind) {
    case WarningKind::LoneLineFeeds:
      return SettingFix{SettingId::LineEnds, "any"};
    case WarningKind::MarkupInText:
      return SettingFix{SettingId::EscapeText, "yes"};
    case WarningKind::EncodingHint:
      return SettingFix{SettingId::Encoding, "utf-8"};
    default:
      return std::nullopt;
  }
}

std::optional<std::string> headerCharsetWarning(std::string_view header, const TextCodec& codec) {
  const std::string declared = declaredCharset(header);
  const std::string_view written = codec.name();
  const std::string prefix = "GlobalDefs row \"Header\" ";
  if (declared.empty()) {
    if (codec.encoding() != Encoding::Utf8) return std::nullopt;
    return prefix + "declares no charset, but the pages are written in " + std::string(written) +
           ": browsers will assume windows-1252 and show every non-ASCII letter wrongly; add "
           "<META charset=\"utf-8\"> to the Header";
  }
  const std::string_view read = browserEncoding(declared);
  if (read == written) return std::nullopt;
  return prefix + "declares charset " + quoted(declared) + ", but the pages are written in " +
         std::string(written) + ": browsers will read them as " + std::string(read) +
         " and show every non-ASCII letter wrongly; declare charset=" + std::string(written) +
         " in the Header";
}

SourceWarnings::SourceWarnings(const CompiledRules& rules)
    : codec_(*rules.codec),
      lineFeeds_(rules.settings.lineEnds == LineEnds::CrLf),
      markup_(!rules.escapeTextChosen),
      utf8_(rules.codec->encoding() == Encoding::Windows1252),
      invalidUtf8_(rules.codec->encoding() == Encoding::Utf8) {}

std::optional<std::string> SourceWarnings::invalidText(const std::string& path,
                                                       const SourceFacts& facts) {
  if (!facts.invalidUtf8) return std::nullopt;
  const SourceFacts::InvalidUtf8& invalid = *facts.invalidUtf8;
  return "File \"" + path + "\" is not valid UTF-8: " + std::to_string(invalid.count) +
         " invalid byte(s), the first in line " + std::to_string(invalid.line) + " at byte " +
         std::to_string(invalid.column) + "; they are passed through unchanged";
}

void SourceWarnings::add(const std::string& path, const SourceFacts& facts) {
  if (lineFeeds_ && facts.lineFeedsOnly) lineFeedFiles_.push_back(path);
  if (markup_ && facts.markup) {
    if (markupFiles_++ == 0) {
      firstMarkupFile_ = path;
      firstMarkup_ = *facts.markup;
    }
  }
  if (utf8_ && facts.utf8Line && utf8Files_++ == 0) {
    firstUtf8File_ = path;
    firstUtf8Line_ = *facts.utf8Line;
  }
}

std::vector<PlanWarning> SourceWarnings::warnings() const {
  std::vector<PlanWarning> out;
  const std::string advice = ": each LF stays inside a line; set LineEnds to any";
  // A handful of files are named one by one; more are summed up in one line.
  constexpr std::size_t kNamedFiles = 3;
  if (lineFeedFiles_.size() <= kNamedFiles) {
    for (const std::string& path : lineFeedFiles_) {
      out.push_back({WarningKind::LoneLineFeeds,
                     "File " + quoted(path) + " has no CR LF line ends" + advice});
    }
  } else {
    out.push_back({WarningKind::LoneLineFeeds, std::to_string(lineFeedFiles_.size()) +
                                                   " files have no CR LF line ends, the first " +
                                                   quoted(lineFeedFiles_.front()) + advice});
  }
  if (markupFiles_ > 0) {
    std::string sample = codec_.toStore(firstMarkup_.text);
    for (char& c : sample) {
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    out.push_back(
        {WarningKind::MarkupInText,
         std::to_string(markupFiles_) + (markupFiles_ == 1 ? " file holds" : " files hold") +
             " text that browsers read as markup and hide, first " + quoted(firstMarkupFile_) +
             " line " + std::to_string(firstMarkup_.line) + ": " + quoted(sample) +
             "; set EscapeText to yes (or to no if the text holds HTML on purpose)"});
  }
  if (utf8Files_ > 0) {
    out.push_back(
        {WarningKind::EncodingHint,
         std::to_string(utf8Files_) + (utf8Files_ == 1 ? " file is" : " files are") +
             " UTF-8 text, first " + quoted(firstUtf8File_) + " line " +
             std::to_string(firstUtf8Line_) +
             ", but the run reads and writes windows-1252: browsers will show each letter of "
             "more than one byte as two or three wrong ones (\"Café\" as \"CafÃ©\"); set "
             "Encoding to utf-8"});
  }
  return out;
}

}  // namespace loom
