// SPDX-License-Identifier: MIT
#include "ui/texts.h"

namespace loomui {

const char* const kProgramTitle = "Loomwise";
const char* const kMainCaption = "Loomwise 1.0";
const char* const kWelcomeText =
    "Welcome to Loomwise; the \"almost automatic\" WWW site generator!";
const char* const kLoomSetupButton = "&Loom Setup";
const char* const kStartSessionButton = "Start a &Session!";

const char* const kSessionCaption = "Starting a Loomwise Session...";
const char* const kSessionIntro =
    "To start a Loomwise session you must specify two locations for your working files.  Use the "
    "directory controls to indicate these paths:";
const char* const kUseDirectoriesButton = "&Use these directories";
const char* const kCancelSessionButton = "&Cancel Session";
const char* const kInputHeading = "Directory containing text files to be input:";
const char* const kOutputHeading = "Directory that results will be written to:";
const char* const kYouHaveSpecified = "You have specified:";

const char* const kSetupCaption = "Loomwise Setup";
const std::array<const char*, 6> kSetupTabs = {"About Setup", "File Types",      "File Groups",
                                               "Constraints", "Global Settings", "About ..."};
const char* const kConstraintFormButton = "Constraint Form";
const char* const kOptionalSettingsHeading =
    "These settings are optional; \"default\" leaves the setting out, and the run uses the "
    "default it names:";
const char* const kFormCaption = "Constraint Form";
const char* const kFormWelcome =
    "Welcome to the Loomwise Constraint Form!  This form will assist you in defining good "
    "constraints to apply towards your text documents.  From this screen you can select the type "
    "of constraint you wish to apply and the necessary parameters for each.";
const char* const kKindFrame = "Type of Constraint";
const std::array<const char*, 5> kKindOptions = {"Search && Replace", "Remove blocks of text",
                                                 "Replace Formatting", "Identify Header Lines",
                                                 "Replace a Pattern"};
const std::array<const char*, 5> kKindHelp = {
    "This is a simple search and replace function.  Enter the text you would like to be replaced "
    "in the first field and the text you wish to replace it with in the second.   Be sure to "
    "assign the constraint to a file type!",
    "This action removes blocks of text.  Enter the text marking the beginning of the block to be "
    "removed and the text marking the end of the block.  Alternately you may choose to delete all "
    "further text to the end of the line.  Be sure to assign the constraint to a file type!",
    "This replaces small text blocks at the beginning and end of another text block.  Enter the "
    "text marking the beginning and end of the block as well as the text to replace the front & "
    "back with.  This is similar to two quick search && replace's in one. Assign the constraint "
    "to a file type!",
    "This is similar to a search && replace, but it requires that the search text be the only "
    "text on the current line.  This lets you avoid formatting headers and having text that "
    "matches it in the body be formatted as well.  Identify the header text and the text you wish "
    "to replace it with.  Assign to a filetype!",
    "This replaces every match of a regular expression.  Enter the pattern in the first field "
    "(for example \\b(v\\d+)\\b) and the replacement in the second, where \\0 stands for the "
    "whole match and \\1 to \\9 for its groups (\\\\ for one backslash).  The title line is "
    "left as it is.  Be sure to assign the constraint to a file type!"};
const char* const kSaveConstraintButton = "&Save Constraint";
const char* const kClearFieldsButton = "&Clear Fields";
const char* const kFieldsFrame = "Fields ";
const char* const kApplyToEndOfLine = "Apply to end of line";
const char* const kCaseSensitive = "Make the search case sensitive";
const char* const kFileTypeLabel = "Extension of file this applies to:";
const char* const kInitialFieldCaption = "Label2";
const std::array<std::array<const char*, 4>, 5> kFieldCaptions = {{
    {"Text to search for:", "Text to replace it with:", nullptr, nullptr},
    {"Text marking the beginning of the block to delete:",
     "Text marking the end of the block to delete:", nullptr, nullptr},
    {"Text to be replaced at the beginning of the block to reformat:",
     "Text to be replaced at the end of the block to reformat:",
     "Text to replace the beginning of the block:", "Text to replace the end of the block:"},
    {"Text of header line to search for:", "Text to replace it with:", nullptr, nullptr},
    {"Pattern (a regular expression) to search for:",
     "Text to replace each match with (\\0 the match, \\1 to \\9 its groups):", nullptr, nullptr},
}};

QString labelText(const char* text) {
  return QString::fromUtf8(text).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

}  // namespace loomui
