// SPDX-License-Identifier: MIT
#pragma once
// The program's own captions, labels and messages, in one place so that the
// windows and their tests use the very same texts.

#include <QString>
#include <array>

namespace loomui {

// Message boxes and the main window.
extern const char* const kProgramTitle;  // message box title
extern const char* const kMainCaption;
extern const char* const kWelcomeText;
extern const char* const kLoomSetupButton;
extern const char* const kStartSessionButton;

// Start Session dialog.
extern const char* const kSessionCaption;
extern const char* const kSessionIntro;
extern const char* const kUseDirectoriesButton;
extern const char* const kCancelSessionButton;
extern const char* const kInputHeading;
extern const char* const kOutputHeading;
extern const char* const kYouHaveSpecified;

// Setup window.
extern const char* const kSetupCaption;
extern const std::array<const char*, 6> kSetupTabs;
extern const char* const kConstraintFormButton;
extern const char* const kOptionalSettingsHeading;

// Constraint Form.
extern const char* const kFormCaption;
extern const char* const kFormWelcome;
extern const char* const kKindFrame;
extern const std::array<const char*, 5> kKindOptions;
extern const std::array<const char*, 5> kKindHelp;
extern const char* const kSaveConstraintButton;
extern const char* const kClearFieldsButton;
extern const char* const kFieldsFrame;
extern const char* const kApplyToEndOfLine;
extern const char* const kCaseSensitive;
extern const char* const kFileTypeLabel;
extern const char* const kInitialFieldCaption;
// Captions of the four field rows for each kind; nullptr: not changed.
extern const std::array<std::array<const char*, 4>, 5> kFieldCaptions;

// "&&" shows one "&" in buttons and frames; labels show text as it is, so
// the doubled ampersands of the help texts are shown single there.
QString labelText(const char* text);

}  // namespace loomui
