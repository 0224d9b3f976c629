// SPDX-License-Identifier: MIT
#include "convert/pattern_row.h"

#include <re2/filtered_re2.h>
#include <re2/re2.h>

#include <algorithm>
#include <array>
#include <utility>

#include "base/utf8.h"
#include "convert/constraint_ops.h"
#include "convert/line_origin.h"

namespace loom {
namespace {

// Windows-1252 case pairs outside Latin-1, which RE2's Latin-1 folding does
// not know: Š/š, Œ/œ, Ž/ž, Ÿ/ÿ.
unsigned char windows1252Partner(unsigned char b) {
  switch (b) {
    case 0x8A:
      return 0x9A;
    case 0x9A:
      return 0x8A;
    case 0x8C:
      return 0x9C;
    case 0x9C:
      return 0x8C;
    case 0x8E:
      return 0x9E;
    case 0x9E:
      return 0x8E;
    case 0x9F:
      return 0xFF;
    case 0xFF:
      return 0x9F;
    default:
      return 0;
  }
}

// The pattern with each of those letters written as a class of both cases,
// so that a case-insensitive pattern folds as the other kinds of row do in
// Windows-1252. Inside a class the other case joins the class at its end.
std::string withWindows1252Pairs(std::string_view pattern) {
  std::string out;
  std::string classExtra;  // partners to add before the current class ends
  bool inClass = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      const auto next = static_cast<unsigned char>(pattern[i + 1]);
      if (const unsigned char partner = windows1252Partner(next)) {
        if (inClass) {
          out += pattern.substr(i, 2);
          classExtra += static_cast<char>(partner);
        } else {
          out += '[';
          out += static_cast<char>(next);
          out += static_cast<char>(partner);
          out += ']';
        }
      } else {
        out += pattern.substr(i, 2);
      }
      ++i;
      continue;
    }
    if (!inClass && c == '[') {
      inClass = true;
      out += c;
      // A "]" (after a "^") right at the start belongs to the class.
      if (i + 1 < pattern.size() && pattern[i + 1] == '^') out += pattern[++i];
      if (i + 1 < pattern.size() && pattern[i + 1] == ']') out += pattern[++i];
      continue;
    }
    if (inClass && c == '[' && i + 1 < pattern.size() && pattern[i + 1] == ':') {
      const std::size_t close = pattern.find(":]", i + 2);  // [:alpha:]
      if (close != std::string_view::npos) {
        out += pattern.substr(i, close + 2 - i);
        i = close + 1;
        continue;
      }
    }
    if (inClass && c == ']') {
      out += classExtra;
      classExtra.clear();
      inClass = false;
      out += c;
      continue;
    }
    if (const unsigned char partner = windows1252Partner(static_cast<unsigned char>(c))) {
      if (inClass) {
        out += c;
        classExtra += static_cast<char>(partner);
      } else {
        out += '[';
        out += c;
        out += static_cast<char>(partner);
        out += ']';
      }
      continue;
    }
    out += c;
  }
  return out;
}

// Whether the pattern matches an empty text somewhere in a few short lines:
// such a pattern would hit between every two characters.
bool matchesEmpty(const re2::RE2& re, bool utf8) {
  const char* const probes[] = {"", "a", " ", "a b", "0", "-", ".", utf8 ? "\xC3\xA9" : "\xE9"};
  for (const std::string_view probe : probes) {
    for (std::size_t at = 0; at <= probe.size(); ++at) {
      re2::StringPiece match;
      if (re.Match(probe, at, probe.size(), re2::RE2::ANCHOR_START, &match, 1) && match.empty()) {
        return true;
      }
    }
  }
  return false;
}

// The longest text that every match must hold, as RE2's prefilter finds it
// (lower case); empty when no single text is needed.
std::string requiredText(std::string_view pattern, const re2::RE2::Options& options) {
  re2::FilteredRE2 filter(1);
  int id = 0;
  if (filter.Add(re2::StringPiece(pattern.data(), pattern.size()), options, &id) !=
      re2::RE2::NoError) {
    return {};
  }
  std::vector<std::string> atoms;
  filter.Compile(&atoms);
  std::string best;
  std::vector<int> others, passing;
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    others.clear();
    for (std::size_t j = 0; j < atoms.size(); ++j) {
      if (j != i) others.push_back(static_cast<int>(j));
    }
    filter.AllPotentials(others, &passing);
    const bool needed = std::find(passing.begin(), passing.end(), id) == passing.end();
    if (needed && atoms[i].size() > best.size()) best = atoms[i];
  }
  return best;
}

constexpr int kMostGroups = 9;

// The literal a pattern of the form [\b][(]text[)][\b] stands for, where
// the text holds no character RE2 reads as syntax; nothing for any other.
std::optional<std::string> literalOf(std::string_view pattern, bool& before, bool& after,
                                     bool& group) {
  before = pattern.starts_with("\\b");
  if (before) pattern.remove_prefix(2);
  after = pattern.ends_with("\\b") && !pattern.ends_with("\\\\b");
  if (after) pattern.remove_suffix(2);
  group = pattern.size() >= 2 && pattern.front() == '(' && pattern.back() == ')';
  if (group) pattern = pattern.substr(1, pattern.size() - 2);
  if (pattern.empty() || pattern.find_first_of("\\^$.|?*+()[]{}") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(pattern);
}

// RE2's word characters for \b, in either encoding: ASCII alone.
bool isWordByte(std::string_view line, std::size_t at) {
  if (at >= line.size()) return false;
  const auto c = static_cast<unsigned char>(line[at]);
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool boundaryAt(std::string_view line, std::size_t at) {
  return (at > 0 && isWordByte(line, at - 1)) != isWordByte(line, at);
}

}  // namespace

PatternRow::~PatternRow() = default;

std::shared_ptr<const PatternRow> PatternRow::compile(std::string_view pattern,
                                                      std::string_view replacement,
                                                      bool caseSensitive, const TextCodec& codec,
                                                      std::string& why) {
  const bool utf8 = codec.encoding() == Encoding::Utf8;
  const std::string source =
      !utf8 && !caseSensitive ? withWindows1252Pairs(pattern) : std::string(pattern);
  re2::RE2::Options options;
  options.set_encoding(utf8 ? re2::RE2::Options::EncodingUTF8 : re2::RE2::Options::EncodingLatin1);
  options.set_case_sensitive(caseSensitive);
  options.set_log_errors(false);
  std::shared_ptr<PatternRow> row(new PatternRow);
  row->re_ = std::make_unique<re2::RE2>(source, options);
  if (!row->re_->ok()) {
    why = "RE2 refuses the pattern: " + row->re_->error();
    return nullptr;
  }
  if (matchesEmpty(*row->re_, utf8)) {
    why = "the pattern can match the empty string, so it would hit between every two characters";
    return nullptr;
  }
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
    if (c == '\\' && next >= '0' && next <= '9') {
      const int group = next - '0';
      if (group > row->re_->NumberOfCapturingGroups()) {
        why = std::string("the replacement names \\") + next + ", but the pattern has " +
              std::to_string(row->re_->NumberOfCapturingGroups()) + " group(s)";
        return nullptr;
      }
      row->template_.push_back({group, {}});
      row->groups_ = std::max(row->groups_, group);
      ++i;
      continue;
    }
    if (row->template_.empty() || row->template_.back().group >= 0) row->template_.push_back({});
    row->template_.back().text += c;
    if (c == '\\' && next == '\\') ++i;  // "\\" is one backslash
  }
  row->key_ = requiredText(source, options);
  row->codec_ = &codec;
  bool before = false, after = false, group = false;
  if (auto text = literalOf(source, before, after, group);
      text && row->re_->NumberOfCapturingGroups() == (group ? 1 : 0)) {
    row->literal_ = Literal{std::move(*text), before, after, caseSensitive};
  }
  // RE2 lower-cases with Unicode's simple mappings, which the codec's folding
  // need not share beyond ASCII letters that fold with nothing else.
  row->screenKey_ = utf8 ? std::string(longestClosedAsciiRun(row->key_)) : row->key_;
  static_assert(kMostGroups == 9);
  return row;
}

bool PatternRow::replaceAll(std::string& line, OpBuffers& buffers, LineOrigin* origin) const {
  if (!screenKey_.empty() && !codec_->find(line, screenKey_, 0, false).found()) return false;
  std::array<re2::StringPiece, kMostGroups + 1> match;
  const re2::StringPiece text(line.data(), line.size());
  const int count = groups_ + 1;
  const bool utf8 = re_->options().encoding() == re2::RE2::Options::EncodingUTF8;
  std::string& out = buffers.spare;
  std::optional<OriginBuilder> built;  // the new origin, once a match is replaced
  std::optional<OriginReader> old;
  std::size_t pos = 0;
  bool replaced = false;
  const auto copy = [&](std::size_t from, std::size_t to) {
    out.append(line, from, to - from);
    if (origin) built->copy(*old, from, to);
  };
  const auto next = [&] {
    if (!literal_)
      return re_->Match(text, pos, line.size(), re2::RE2::UNANCHORED, match.data(), count);
    std::size_t start = 0, end = 0;
    if (!findLiteral(line, pos, start, end)) return false;
    match[0] = re2::StringPiece(line.data() + start, end - start);
    match[1] = match[0];  // the one group, when there is one, is the whole match
    return true;
  };
  while (pos <= line.size() && next()) {
    const auto start = static_cast<std::size_t>(match[0].data() - line.data());
    const std::size_t end = start + match[0].size();
    if (!replaced) {
      out.clear();
      if (origin) {
        built.emplace(buffers.originSpare, origin->form());
        old.emplace(*origin);
      }
      replaced = true;
    }
    if (end == start) {
      // The check refuses such patterns; should one slip through, step over
      // a character rather than stand still.
      if (start >= line.size()) break;
      const std::size_t step = utf8 ? decodeUtf8(line, start).length : 1;
      copy(pos, start + step);
      pos = start + step;
      continue;
    }
    copy(pos, start);
    for (const Piece& piece : template_) {
      if (piece.group < 0) {
        out += piece.text;
        if (origin) built->add(piece.text.size(), kFromRule);
        continue;
      }
      const re2::StringPiece group = match[static_cast<std::size_t>(piece.group)];
      if (group.data() == nullptr) continue;  // a group that took no part
      const auto from = static_cast<std::size_t>(group.data() - line.data());
      out.append(group.data(), group.size());
      if (origin) {
        // A group may come before the ones left of it, or twice: a copy of
        // the reader, which stands at the match, reads it.
        OriginReader(*old).visit(from, from + group.size(), [&](std::size_t n, char was) {
          built->add(n, was == kFromSource ? kFromGroup : was);
        });
      }
    }
    pos = end;
    // A match after this one holds the key after it too: where the key does
    // not occur again, the search need not run to the line's end to say so.
    if (!screenKey_.empty() && !codec_->find(line, screenKey_, pos, false).found()) break;
  }
  if (!replaced) return false;
  if (pos < line.size()) copy(pos, line.size());
  line.swap(out);
  if (origin) {
    built->finish();
    origin->swap(buffers.originSpare);
  }
  return true;
}

bool PatternRow::findLiteral(std::string_view line, std::size_t from, std::size_t& start,
                             std::size_t& end) const {
  const bool utf8 = codec_->encoding() == Encoding::Utf8;
  while (from <= line.size()) {
    const Match hit = codec_->find(line, literal_->text, from, literal_->caseSensitive);
    if (!hit.found()) return false;
    if ((!literal_->boundaryBefore || boundaryAt(line, hit.pos)) &&
        (!literal_->boundaryAfter || boundaryAt(line, hit.pos + hit.length))) {
      start = hit.pos;
      end = hit.pos + hit.length;
      return true;
    }
    from = hit.pos + (utf8 && hit.pos < line.size() ? decodeUtf8(line, hit.pos).length : 1);
  }
  return false;
}

std::optional<std::vector<std::string_view>> PatternRow::insertedPieces() const {
  if (template_.empty() || template_.front().group >= 0 || template_.back().group >= 0)
    return std::nullopt;
  std::vector<std::string_view> pieces;
  for (std::size_t k = 0; k < template_.size(); ++k) {
    if (template_[k].group < 0) {
      pieces.push_back(template_[k].text);
    } else if (template_[k + 1].group >= 0) {
      return std::nullopt;  // two groups meet: their texts join
    }
  }
  return pieces;
}

std::vector<std::string> PatternRow::firstMatch(std::string_view line) const {
  const int count = re_->NumberOfCapturingGroups() + 1;
  std::vector<re2::StringPiece> match(static_cast<std::size_t>(count));
  if (!re_->Match(re2::StringPiece(line.data(), line.size()), 0, line.size(), re2::RE2::UNANCHORED,
                  match.data(), count)) {
    return {};
  }
  std::vector<std::string> texts;
  for (const re2::StringPiece& m : match) texts.emplace_back(m.data() ? std::string(m) : "");
  return texts;
}

std::string templateText(std::string_view replacement) {
  std::string text;
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
    if (replacement[i] == '\\' && next >= '0' && next <= '9') {
      ++i;
      continue;
    }
    text += replacement[i];
    if (replacement[i] == '\\' && next == '\\') ++i;
  }
  return text;
}

}  // namespace loom
