// SPDX-License-Identifier: MIT
#pragma once
// Every global setting in one table: its GlobalDefs key, the values it
// takes, what a missing row means, the option that overrides it for one run,
// what a new database for this platform's text holds, and the words that
// explain it. The rules compiler, the command line and its help, the Setup
// page, import and --new-rules all read it, so a new setting is one row here
// plus what it does.
//
// Example: the row of "LineEnds" says it takes "crlf" or "any", that a
// database without the row means "crlf", that `--line-ends any` overrides
// it for one run, and that --new-rules writes "any".

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace loom {

enum class SettingId {
  EndOfLine,
  Header,
  Footer,
  IndexPageName,
  Encoding,
  LineEnds,
  EscapeText,
  PageNames,
  Lines,
};

struct SettingDef {
  SettingId id;
  const char* key;  // the GlobalDefs ID, as written into new databases
  // The values the setting takes, lower case; empty for free text.
  std::span<const std::string_view> choices;
  // What a database without the row means; nullptr when the row must exist.
  const char* missing;
  // The option that overrides it for one run ("line-ends" for
  // --line-ends) and its value's name in the help; nullptr when none.
  const char* option;
  const char* optionValue;
  const char* optionHelp;  // lines of --help after the option, joined by "\n"
  // What --new-rules writes. In the Header, "{charset}" stands for the
  // database's encoding.
  const char* newRules;
  const char* explanation;  // the Setup page's words
  const char* what;         // the setting in messages: "line ends"
};

// The settings in the order Setup shows them: the four every database needs,
// then the optional ones.
std::span<const SettingDef> settingTable();
const SettingDef& settingDef(SettingId id);
// Compared without regard to letter case; nullptr when unknown.
const SettingDef* settingByKey(std::string_view key);
const SettingDef* settingByOption(std::string_view option);
inline bool isRequired(const SettingDef& def) { return def.missing == nullptr; }

// The choice `text` names, as the table spells it (spaces around it and
// letter case ignored); nothing when it names none.
// choiceOf(LineEnds, " ANY ") == "any".
std::optional<std::string_view> choiceOf(const SettingDef& def, std::string_view text);
// "crlf or any".
std::string choicesText(const SettingDef& def);
// What a value given for one run that is none of the choices is called:
// Unknown line ends "lf"; use crlf or any
std::string unknownChoiceText(const SettingDef& def, std::string_view given);

// Values of settings given for one run, over the stored rows.
using SettingOverrides = std::map<SettingId, std::string>;

// The settings' part of the command line's help: one entry per option.
std::string settingOptionsHelp();

}  // namespace loom
