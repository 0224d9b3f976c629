// SPDX-License-Identifier: MIT
#pragma once
// Where each byte of a line came from: the source file, or a rule or setting.
// A page may escape what came from the source (so that "a < b" and
// "<someone@example.org>" stay text in a browser) while keeping what the
// rules insert as the HTML its author wrote. Rules match the text alone, so
// the origin rides beside the line as a mask of one byte per byte, which
// every operation that rewrites the line keeps in step.

#include <string>
#include <string_view>

namespace loom {

inline constexpr char kFromSource = 0;
inline constexpr char kFromRule = 1;
// Source text a pattern row's group put where its template says, perhaps
// inside an attribute value: escaped as source text, its quotes too.
inline constexpr char kFromGroup = 2;

// The mask of a line read from the source file.
inline std::string sourceOrigin(std::size_t length) { return std::string(length, kFromSource); }

// Appends `line` to `out`, writing each "&", "<" and ">" whose origin is the
// source as "&amp;", "&lt;" and "&gt;"; bytes from rules are copied as they
// are. `origin` is the mask of `line` (same length):
//   appendEscaped(out, "a<b <I>", {src, src, src, src, rule, rule, rule})
//   appends "a&lt;b <I>".
// With `groups` (the line may hold group text), group text is escaped as
// well, and its '"' and "'" become "&quot;" and "&#39;".
void appendEscaped(std::string& out, std::string_view line, std::string_view origin,
                   bool groups = false);

// Removes leading and trailing spaces of `line` in place, keeping its
// buffer, and the same bytes of `origin` when it is given.
void trimInPlace(std::string& line, std::string* origin);

// `text` with every "&", "<" and ">" written as a character reference, as
// when all of it came from the source.
std::string escapeMarkup(std::string_view text);

}  // namespace loom
