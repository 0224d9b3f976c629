// SPDX-License-Identifier: MIT
#include "rules/settings_table.h"

#include <array>

#include "base/text.h"

namespace loom {
namespace {

constexpr std::array<std::string_view, 2> kEncodings = {"windows-1252", "utf-8"};
constexpr std::array<std::string_view, 2> kLineEnds = {"crlf", "any"};
constexpr std::array<std::string_view, 2> kYesNo = {"yes", "no"};
constexpr std::array<std::string_view, 2> kPageNames = {"short", "full"};
constexpr std::array<std::string_view, 2> kLines = {"trim", "keep"};

// A page that reads well on a phone and on a wide screen, in either scheme:
// the text in a monospace face as it was laid out, wrapped where a line is
// wider than the screen, at most about 80 characters wide. The title line
// stays in the text, in bold (a title element is hidden unless styled); a
// title in the index's group header stays hidden and names the page, whose
// links stand apart as blocks.
constexpr const char* kNewHeader =
    "<!DOCTYPE html>\n"
    "<html><head><meta charset=\"{charset}\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<style>\n"
    ":root { color-scheme: light dark; }\n"
    "body { max-width: 80ch; margin: 0 auto; padding: 0.5em 1em 2em;"
    " font: 15px/1.5 \"DejaVu Sans Mono\", \"Liberation Mono\", Menlo, Consolas, monospace;"
    " overflow-wrap: anywhere; background: #fdfdfb; color: #1f1f1f; }\n"
    "pre { font: inherit; margin: 0; white-space: pre-wrap; overflow-wrap: anywhere;"
    " tab-size: 8; }\n"
    "pre title { display: inline; font-weight: bold; }\n"
    "nav { margin-bottom: 1em; font-size: 0.9em; }\n"
    "body > a { display: block; padding: 0.3em 0; }\n"
    "body > br { display: none; }\n"
    "a { color: #0b57d0; }\n"
    "a:visited { color: #6f3fb5; }\n"
    "h1 { font-size: 1.3em; }\n"
    "@media (prefers-color-scheme: dark) {\n"
    "  body { background: #17191c; color: #e2e2e2; }\n"
    "  a { color: #8ab4f8; }\n"
    "  a:visited { color: #c58af9; }\n"
    "}\n"
    "</style></head><body>\n"
    "<nav><a href=\"index.html\">Index</a></nav>";
constexpr const char* kNewFooter = "</body></html>";

constexpr std::array<SettingDef, 9> kTable = {{
    {SettingId::EndOfLine,
     "EndofLine",
     {},
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     "",
     "End of Line Tag:  the default tag to be applied when the program encounters a carriage "
     "return",
     "end-of-line tag"},
    {SettingId::Header,
     "Header",
     {},
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     kNewHeader,
     "Header:  the generic header data that will be applied to every HTML page in the "
     "application",
     "header"},
    {SettingId::Footer,
     "Footer",
     {},
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     kNewFooter,
     "Footer:  the generic footer data that will be applied to every HTML page in the "
     "application",
     "footer"},
    {SettingId::IndexPageName,
     "IndexPageName",
     {},
     nullptr,
     nullptr,
     nullptr,
     nullptr,
     "index.html",
     "Index page filename:  the name that will be assigned to the index page for all documents",
     "index page name"},
    {SettingId::Encoding, "Encoding", kEncodings, "windows-1252", "encoding", "NAME",
     "text encoding of the run: windows-1252 or utf-8\n"
     "(default: the rule database's Encoding setting, else windows-1252)",
     "utf-8",
     "Text encoding:  the character set of the input files and of the pages written "
     "(windows-1252 or utf-8)",
     "encoding"},
    {SettingId::LineEnds, "LineEnds", kLineEnds, "crlf", "line-ends", "crlf|any",
     "what ends a line of the input files: CR LF or CR only, or\n"
     "also a lone LF (default: the LineEnds setting, else crlf)",
     "any",
     "Line ends:  crlf (a line ends at CR LF or a lone CR) or any (a lone LF ends a line too, "
     "as in most text files of this platform)",
     "line ends"},
    {SettingId::EscapeText, "EscapeText", kYesNo, "no", "escape-text", "yes|no",
     "write & < > of the input text as &amp; &lt; &gt; so that a\n"
     "browser shows them (default: the EscapeText setting, else no)",
     "yes",
     "Escape text:  yes (&, < and > of the text files are shown as written) or no (copied as "
     "they are, for text that holds HTML on purpose)",
     "escape-text value"},
    {SettingId::PageNames, "PageNames", kPageNames, "short", "page-names", "short|full",
     "how pages are named: short (\"lw\" and six characters of the\n"
     "file name) or full (the whole file name and \".html\", so that\n"
     "no two files share a page) (default: the PageNames setting,\n"
     "else short)",
     "full",
     "Page names:  short (\"lw\" + six characters of the file name + \".htm\"; files that share "
     "them share a page) or full (the whole file name + \".html\": a page of its own for every "
     "file)",
     "page names"},
    {SettingId::Lines, "Lines", kLines, "trim", "lines", "trim|keep",
     "trim (blanks around each line removed, blank lines dropped)\n"
     "or keep (leading blanks and blank lines kept, so the text\n"
     "shows as it was laid out) (default: the Lines setting, else trim)",
     "keep",
     "Lines:  trim (spaces around each line removed, blank lines dropped) or keep (a line keeps "
     "its leading blanks and tabs and a blank line stays, for pages that show the text as it "
     "was laid out)",
     "lines value"},
}};

}  // namespace

std::span<const SettingDef> settingTable() { return kTable; }

const SettingDef& settingDef(SettingId id) {
  for (const SettingDef& def : kTable) {
    if (def.id == id) return def;
  }
  return kTable.front();  // every id has a row; not reached
}

const SettingDef* settingByKey(std::string_view key) {
  for (const SettingDef& def : kTable) {
    if (equalsIgnoringAsciiCase(def.key, key)) return &def;
  }
  return nullptr;
}

const SettingDef* settingByOption(std::string_view option) {
  for (const SettingDef& def : kTable) {
    if (def.option != nullptr && option == def.option) return &def;
  }
  return nullptr;
}

std::optional<std::string_view> choiceOf(const SettingDef& def, std::string_view text) {
  const std::string_view trimmed = trimSpaces(text);
  for (const std::string_view choice : def.choices) {
    if (equalsIgnoringAsciiCase(choice, trimmed)) return choice;
  }
  return std::nullopt;
}

std::string choicesText(const SettingDef& def) {
  std::string text;
  for (std::size_t i = 0; i < def.choices.size(); ++i) {
    if (i > 0) text += i + 1 == def.choices.size() ? " or " : ", ";
    text += def.choices[i];
  }
  return text;
}

std::string unknownChoiceText(const SettingDef& def, std::string_view given) {
  return std::string("Unknown ") + def.what + " " + quoted(given) + "; use " + choicesText(def);
}

std::string settingOptionsHelp() {
  constexpr std::size_t kColumn = 23;  // where the words begin
  std::string help;
  for (const SettingDef& def : kTable) {
    if (def.option == nullptr) continue;
    std::string head = std::string("  --") + def.option + " " + def.optionValue;
    // Two blanks at least between an option and its words, or a line of its
    // own: what manual-page tools and readers take for the column.
    head += head.size() + 2 <= kColumn ? std::string(kColumn - head.size(), ' ')
                                       : "\n" + std::string(kColumn, ' ');
    help += head;
    for (const char* p = def.optionHelp; *p != '\0'; ++p) {
      help += *p;
      if (*p == '\n') help += std::string(kColumn, ' ');
    }
    help += '\n';
  }
  return help;
}

}  // namespace loom
