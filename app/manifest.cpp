// SPDX-License-Identifier: MIT
#include "app/manifest.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <set>
#include <string>

#include "base/error.h"

namespace loom {
namespace {

constexpr std::string_view kFirstLine = "loomwise-manifest 3";
// The earlier forms: four fields a line (no state, digest or title), and
// three (no input directory either).
constexpr std::string_view kFirstLineSecond = "loomwise-manifest 2";
constexpr std::string_view kFirstLineBefore = "loomwise-manifest 1";
constexpr char kHex[] = "0123456789abcdef";

// File names may hold any byte but "/" and NUL; tabs, line ends and "%" are
// written as %XX so that each entry stays one line of three fields.
void appendEscaped(std::string& out, std::string_view name) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = name.find_first_of(std::string_view("%\t\n\r"), from);
    out.append(name.substr(from, at - from));
    if (at == std::string_view::npos) return;
    const auto byte = static_cast<unsigned char>(name[at]);
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
    from = at + 1;
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool unescapeName(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

bool isHash(std::string_view text) {
  return text.size() == 16 && text.find_first_not_of(kHex) == std::string_view::npos;
}

// A name of a file directly in the directory: no way up, down or out of it.
bool isPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::string manifestProblem(const std::string& path, std::size_t line, const std::string& what) {
  return "The list of pages \"" + path + "\" is damaged in line " + std::to_string(line) + ": " +
         what;
}

}  // namespace

std::uint64_t pageHashValue(std::string_view bytes) {
  // Four lanes of eight bytes at a time, mixed by multiplication, so that
  // hashing a page costs a fraction of writing it; the value only has to
  // tell a page we wrote from one changed since, and stays the same across
  // builds and machines (little-endian words are read byte by byte).
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
  const auto word = [](const unsigned char* p) {
    std::uint64_t w = 0;
    for (int i = 7; i >= 0; --i) w = (w << 8) | p[i];
    return w;
  };
  const auto mix = [](std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
  };
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  std::uint64_t lane[4] = {kMul, kMul ^ 1, kMul ^ 2, kMul ^ 3};
  for (; n >= 32; n -= 32, p += 32) {
    for (int k = 0; k < 4; ++k) {
      lane[k] = (lane[k] ^ word(p + 8 * k)) * kMul;
      lane[k] ^= lane[k] >> 29;
    }
  }
  std::uint64_t h = bytes.size() * kMul;
  for (int k = 0; k < 4; ++k) h = (h ^ mix(lane[k])) * kMul;
  for (; n > 0; --n, ++p) h = (h ^ *p) * 0x100000001B3ull;
  return mix(h);
}

std::string hashText(std::uint64_t h) {
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) out[static_cast<std::size_t>(i)] = kHex[h & 15];
  return out;
}

std::string formatManifest(const std::vector<ManifestEntry>& entries) {
  std::string text(kFirstLine);
  text += '\n';
  for (const ManifestEntry& e : entries)
    appendManifestLine(text, e.hash, e.page, e.source, e.input, e.state, e.digest, e.title);
  return text;
}

namespace {

// Writes "device:inode:size:modified:changed" at `at`, which has room.
char* appendFileState(char* at, char* end, const FileState& s) {
  const auto number = [&](auto value) { at = std::to_chars(at, end, value).ptr; };
  number(s.device);
  *at++ = ':';
  number(s.inode);
  *at++ = ':';
  number(s.size);
  *at++ = ':';
  number(s.modifiedNs);
  *at++ = ':';
  number(s.changedNs);
  return at;
}

}  // namespace

std::size_t formatFileState(std::span<char, kFileStateTextSize> out, const FileState& source,
                            const FileState& page) {
  char* const end = out.data() + out.size();
  char* at = appendFileState(out.data(), end, source);
  *at++ = '|';
  return static_cast<std::size_t>(appendFileState(at, end, page) - out.data());
}

std::size_t formatFileState(std::span<char, kFileStateTextSize> out, const FileState& page) {
  return static_cast<std::size_t>(appendFileState(out.data(), out.data() + out.size(), page) -
                                  out.data());
}

void appendManifestLine(std::string& text, std::string_view hash, std::string_view page,
                        std::string_view source, std::string_view input, std::string_view state,
                        std::string_view digest, std::string_view title) {
  text.append(hash).append(1, '\t');
  appendEscaped(text, page);
  text.append(1, '\t');
  appendEscaped(text, source);
  text.append(1, '\t');
  appendEscaped(text, input);
  text.append(1, '\t').append(state).append(1, '\t').append(digest);
  text.append(1, '\t');
  appendEscaped(text, title);
  text.append(1, '\n');
}

namespace {

// Splits `text` into entries and hands each one's fields to `visit`, as
// written (names still escaped) and with the line number; fields an
// earlier form lacks are empty. Throws as parseManifest does.
template <class Visit>
void forEachLine(std::string_view text, const std::string& path, Visit&& visit) {
  std::size_t number = 0;
  std::size_t fields = 4;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
      throw LoomError(ErrorKind::Io, manifestProblem(path, number + 1, "the line does not end"));
    }
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (++number == 1) {
      if (line != kFirstLine && line != kFirstLineSecond && line != kFirstLineBefore)
        throw LoomError(ErrorKind::Io, manifestProblem(path, 1, "unknown format"));
      fields = line == kFirstLine ? 7 : line == kFirstLineSecond ? 4 : 3;
      continue;
    }
    if (static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t')) != fields - 1) {
      throw LoomError(
          ErrorKind::Io,
          manifestProblem(path, number, "expected " + std::to_string(fields) + " fields"));
    }
    std::array<std::string_view, 7> field{};
    std::string_view rest = line;
    for (std::size_t k = 0; k < fields; ++k) {
      const std::size_t tab = rest.find('\t');
      field[k] = rest.substr(0, tab);
      rest.remove_prefix(tab == std::string_view::npos ? rest.size() : tab + 1);
    }
    if (!isHash(field[0]))
      throw LoomError(ErrorKind::Io, manifestProblem(path, number, "unreadable entry"));
    visit(number, field);
  }
  if (number == 0) throw LoomError(ErrorKind::Io, manifestProblem(path, 1, "the file is empty"));
}

// The fields of a line, in the order hash, page, source, input, state,
// digest, title; the names among them are escaped.
constexpr std::array<bool, 7> kEscaped = {false, true, true, true, false, false, true};

}  // namespace

std::vector<ManifestEntry> parseManifest(std::string_view text, const std::string& path) {
  const ListedPages listed = ListedPages::parse(std::string(text), path);
  std::vector<ManifestEntry> entries;
  for (const ListedEntry& e : listed.entries()) entries.push_back(e.owned());
  return entries;
}

ListedPages ListedPages::parse(std::string text, const std::string& path) {
  ListedPages listed;
  listed.text_ = std::make_unique<const std::string>(std::move(text));
  // An entry a line after the first: room for them all at once, rather than
  // copies as the list grows that touch twice its memory.
  const auto lines = std::count(listed.text_->begin(), listed.text_->end(), '\n');
  listed.entries_.reserve(static_cast<std::size_t>(std::max<std::ptrdiff_t>(lines - 1, 0)));
  forEachLine(*listed.text_, path, [&](std::size_t number, std::array<std::string_view, 7> field) {
    for (std::size_t k = 0; k < field.size(); ++k) {
      if (!kEscaped[k] || field[k].find('%') == std::string_view::npos) continue;
      std::string& name = listed.unescaped_.emplace_front();
      if (!unescapeName(field[k], name)) {
        throw LoomError(ErrorKind::Io, manifestProblem(path, number, "unreadable entry"));
      }
      field[k] = name;
    }
    listed.entries_.push_back(
        {field[1], field[2], field[0], field[3], field[4], field[5], field[6]});
  });
  listed.state_ = State::Read;
  return listed;
}

ListedPages ListedPages::read(const std::string& outputDir, const FileSystem& fs) {
  const std::string path = outputDir + kManifestName;
  std::optional<std::string> text = fs.tryReadFile(path);
  if (!text) {
    ListedPages none;
    none.state_ = fs.kind(path) == PathKind::Missing ? State::Missing : State::Unreadable;
    return none;
  }
  try {
    return parse(std::move(*text), path);
  } catch (const LoomError& e) {
    return damaged(e.what());
  }
}

ListedPages ListedPages::damaged(std::string problem) {
  ListedPages listed;
  listed.state_ = State::Damaged;
  listed.problem_ = std::move(problem);
  return listed;
}

std::set<std::string> listedPages(const std::string& outputDir, const FileSystem& fs) {
  std::set<std::string> pages;
  const ListedPages listed = ListedPages::read(outputDir, fs);
  for (const ListedEntry& e : listed.entries()) pages.emplace(e.page);
  return pages;
}

std::string manifestInput(const DirectoryPair& dirs, const FileSystem& fs) {
  std::string input = fs.absolutePath(dirs.input);
  if (input.empty() || input.back() != '/') input += '/';
  return input;
}

PrunePlan planPrune(const DirectoryPair& dirs, const std::vector<std::string>& pages,
                    const ListedPages& listed, const FileSystem& fs, bool prune) {
  PrunePlan result;
  const std::string thisInput = manifestInput(dirs, fs);
  const std::string path = dirs.output + kManifestName;
  const auto keptWarning = [&](const std::string& message) {
    if (prune) result.warnings.push_back({WarningKind::StalePageKept, message});
  };
  switch (listed.state()) {
    case ListedPages::State::Read:
      break;
    case ListedPages::State::Missing:
      if (prune) {
        result.warnings.push_back({WarningKind::ManifestUnusable,
                                   "No list of the pages of an earlier run in \"" + dirs.output +
                                       "\" (" + kManifestName + "); no page is removed this time"});
      }
      return result;
    case ListedPages::State::Unreadable:
      if (prune) {
        result.warnings.push_back(
            {WarningKind::ManifestUnusable,
             "Cannot read the list of pages \"" + path + "\"; no page is removed"});
      }
      return result;
    case ListedPages::State::Damaged:
      if (prune) {
        result.warnings.push_back(
            {WarningKind::ManifestUnusable, listed.problem() + "; no page is removed"});
      }
      return result;
  }
  std::set<std::string_view> seen;
  for (const ListedEntry& e : listed.entries()) {
    if (!isPlainName(e.page) || (!e.source.empty() && !isPlainName(e.source)) ||
        e.page == kManifestName) {
      keptWarning("The list of pages \"" + path + "\" names \"" + std::string(e.page) +
                  "\", which is not a page of the output directory; it is ignored");
      continue;
    }
    if (std::binary_search(pages.begin(), pages.end(), e.page) || !seen.insert(e.page).second) {
      continue;  // this run writes it again
    }
    const std::string pagePath = dirs.output + std::string(e.page);
    ManifestEntry owned = e.owned();
    if (owned.input.empty()) owned.input = thisInput;
    // Whose source is gone is asked of the input directory that wrote it:
    // another one's run into the same output directory prunes none of it.
    const bool sourceGone =
        !e.source.empty() && fs.kind(owned.input + owned.source) == PathKind::Missing;
    if (fs.isSymbolicLink(pagePath)) {
      // Someone put a link in its place: the link is theirs, as is its target.
      if (sourceGone) {
        keptWarning("Page \"" + pagePath + "\" is a symbolic link now; its source \"" +
                    owned.source + "\" is gone, but the link stays");
      }
      continue;
    }
    const std::optional<std::string> bytes = fs.tryReadFile(pagePath);
    if (!bytes) continue;  // gone already, or not ours to read
    if (pageHash(*bytes) != e.hash) {
      // Someone changed it: from now on it is theirs.
      if (sourceGone) {
        keptWarning("Page \"" + pagePath + "\" was changed since it was written; its source \"" +
                    owned.source + "\" is gone, but the page stays");
      }
      continue;
    }
    if (sourceGone && prune) {
      result.remove.push_back(std::move(owned));
    } else {
      result.carried.push_back(std::move(owned));
    }
  }
  return result;
}

}  // namespace loom
