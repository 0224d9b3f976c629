// SPDX-License-Identifier: MIT
#pragma once
// Where a short needle may start in a line: the byte there is one of two
// values (the two cases of the needle's first letter, or its first byte
// twice) and the byte where the needle would end is one of two others. Lines
// are a few dozen bytes and first letters common ("t" of "teh"), so a search
// that stopped at every first letter would spend its time starting again;
// testing both ends of sixteen places at a step leaves few places to verify.
//
//   // "teh" in either case: places holding t or T with e... h or H two on.
//   findByEnds(line.data(), line.data() + line.size() - 3, 3, {'t', 'T'}, {'h', 'H'},
//              [&](const char* at) { return verifyRest(at); });

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace loom {

// Whole words, not bytes: the compiler may keep a pair on the stack and
// load it back four bytes wide to broadcast it, and a wide load of a byte
// just stored waits for the store to reach the cache.
struct BytePair {
  unsigned a, b;
  bool holds(char c) const {
    const auto u = static_cast<unsigned char>(c);
    return u == a || u == b;
  }
};

#if defined(__SSE2__)
// Walks [from, last] sixteen places at a step, `candidates(p)` giving the
// places of p .. p + 15 worth verifying as bits; the last step is the sixteen
// places ending at `last`, less those already tested. REQUIRES: last - from
// is at least 15.
template <class Candidates, class Verify>
const char* walkBlocks(const char* at, const char* last, Candidates&& candidates, Verify&& verify) {
  for (;; at += 16) {
    unsigned mask;
    const char* block = at;
    if (last - at >= 15) {
      mask = candidates(at);
    } else {
      if (at > last) return nullptr;
      block = last - 15;
      mask = candidates(block) >> (at - block) << (at - block);
    }
    for (; mask != 0; mask &= mask - 1) {
      const char* place = block + __builtin_ctz(mask);
      if (verify(place)) return place;
    }
    if (block != at) return nullptr;
  }
}
#endif

// The first place `at` of [from, last] (`last` included) whose byte is in
// `first`, whose byte at + n - 1 is in `final`, and for which `verify(at)`
// holds; nullptr when there is none. Reads no byte past last + n - 1.
template <class Verify>
const char* findByEnds(const char* from, const char* last, std::size_t n, BytePair first,
                       BytePair final, Verify&& verify) {
  const char* at = from;
  if (n == 1 && first.a == first.b) {
    // One byte: the library's memchr, wider than sixteen bytes a step, finds
    // it sooner in a long line.
    for (; at <= last; ++at) {
      at = static_cast<const char*>(
          std::memchr(at, first.a, static_cast<std::size_t>(last - at) + 1));
      if (at == nullptr || verify(at)) return at;
    }
    return nullptr;
  }
#if defined(__SSE2__)
  if (last - from >= 15) {
    const __m128i firstA = _mm_set1_epi8(static_cast<char>(first.a));
    const __m128i firstB = _mm_set1_epi8(static_cast<char>(first.b));
    const __m128i finalA = _mm_set1_epi8(static_cast<char>(final.a));
    const __m128i finalB = _mm_set1_epi8(static_cast<char>(final.b));
    const auto candidates = [&](const char* p) {
      const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
      const __m128i heads =
          _mm_or_si128(_mm_cmpeq_epi8(head, firstA), _mm_cmpeq_epi8(head, firstB));
      const __m128i tails =
          _mm_or_si128(_mm_cmpeq_epi8(tail, finalA), _mm_cmpeq_epi8(tail, finalB));
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(heads, tails)));
    };
    return walkBlocks(at, last, candidates, verify);
  }
#endif
  for (; at <= last; ++at) {
    if (first.holds(at[0]) && final.holds(at[n - 1]) && verify(at)) return at;
  }
  return nullptr;
}

// The first place `at` of [from, last] whose byte is one of `starts` (one to
// four bytes) and for which `verify(at)` holds; nullptr when there is none.
template <class Verify>
const char* findByStart(const char* from, const char* last, std::string_view starts,
                        Verify&& verify) {
  unsigned char want[4];
  for (std::size_t k = 0; k < 4; ++k) {
    want[k] = static_cast<unsigned char>(starts[k < starts.size() ? k : 0]);
  }
  const char* at = from;
#if defined(__SSE2__)
  if (last - from >= 15) {
    __m128i wanted[4];
    for (std::size_t k = 0; k < 4; ++k) wanted[k] = _mm_set1_epi8(static_cast<char>(want[k]));
    const auto candidates = [&](const char* p) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hits = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, wanted[0]), _mm_cmpeq_epi8(bytes, wanted[1])),
          _mm_or_si128(_mm_cmpeq_epi8(bytes, wanted[2]), _mm_cmpeq_epi8(bytes, wanted[3])));
      return static_cast<unsigned>(_mm_movemask_epi8(hits));
    };
    return walkBlocks(at, last, candidates, verify);
  }
#endif
  for (; at <= last; ++at) {
    const auto c = static_cast<unsigned char>(*at);
    if ((c == want[0] || c == want[1] || c == want[2] || c == want[3]) && verify(at)) return at;
  }
  return nullptr;
}

}  // namespace loom
