// The scan loop over the lines of a PLOT POSTFILE segment. Built for the
// baseline instruction set (plot_scan.cpp), with AVX2 (plot_scan_wide.cpp)
// and with AVX-512 (plot_scan_wide512.cpp), so, like scale_loop.hpp, it lives
// in an unnamed namespace and calls no inline library code: each build must
// stay private to its file.
//
// Each line is classified 128 bytes at a time into bit masks (line feed,
// blank, digit, point, minus). A line in AERMOD's own columns is checked
// against constant masks at once; other spacings have their fields found and
// checked through the masks. A line the masks cannot settle (longer than 127
// bytes, a number that is not a plain decimal, a value with more than 15
// digits, ...) goes to detail::read_line, which gives the same results field
// by field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/plot_scan_detail.hpp"

#if defined(__AVX2__) || defined(__AVX512BW__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrel::plot {
namespace {

#if defined(__SSE2__) && defined(__SIZEOF_INT128__)
#define KESTREL_PLOT_MASKS 1
constexpr bool kHaveMasks = true;
#else
constexpr bool kHaveMasks = false;
#endif

#if defined(KESTREL_PLOT_MASKS)
__extension__ typedef unsigned __int128 u128;

struct Masks {
  u128 nl;     // line feed
  u128 blank;  // space or a control character (the line feed too)
  u128 digit;
  u128 point;
  u128 minus;
  u128 cr;     // carriage return
  u128 odd;    // a control character other than tab, CR and LF, or a byte above 126
};

#if defined(__AVX512BW__)
Masks masks_at(const char* p) noexcept {
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i sp = _mm512_set1_epi8(' ');
  const __m512i zero = _mm512_set1_epi8('0');
  const __m512i ten = _mm512_set1_epi8(10);
  const __m512i pt = _mm512_set1_epi8('.');
  const __m512i mi = _mm512_set1_epi8('-');
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i tab = _mm512_set1_epi8('\t');
  const __m512i ctl = _mm512_set1_epi8(0x1F);
  const __m512i del = _mm512_set1_epi8(0x7F);
  __m512i v[2];
  std::memcpy(v, p, 128);
  const auto join = [](__mmask64 lo, __mmask64 hi) { return static_cast<u128>(lo) | (static_cast<u128>(hi) << 64); };
  const auto odd = [&](__m512i x) {
    const __mmask64 allowed = _mm512_cmpeq_epi8_mask(x, lf) | _mm512_cmpeq_epi8_mask(x, cr) | _mm512_cmpeq_epi8_mask(x, tab);
    return (_mm512_cmple_epu8_mask(x, ctl) & ~allowed) | _mm512_cmpge_epu8_mask(x, del);
  };
  return Masks{join(_mm512_cmpeq_epi8_mask(v[0], lf), _mm512_cmpeq_epi8_mask(v[1], lf)),
               join(_mm512_cmple_epu8_mask(v[0], sp), _mm512_cmple_epu8_mask(v[1], sp)),
               join(_mm512_cmplt_epu8_mask(_mm512_sub_epi8(v[0], zero), ten),
                    _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v[1], zero), ten)),
               join(_mm512_cmpeq_epi8_mask(v[0], pt), _mm512_cmpeq_epi8_mask(v[1], pt)),
               join(_mm512_cmpeq_epi8_mask(v[0], mi), _mm512_cmpeq_epi8_mask(v[1], mi)),
               join(_mm512_cmpeq_epi8_mask(v[0], cr), _mm512_cmpeq_epi8_mask(v[1], cr)),
               join(odd(v[0]), odd(v[1]))};
}
#elif defined(__AVX2__)
Masks masks_at(const char* p) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i sp = _mm256_set1_epi8(' ');
  const __m256i zero = _mm256_set1_epi8('0');
  const __m256i nine = _mm256_set1_epi8(9);
  const __m256i pt = _mm256_set1_epi8('.');
  const __m256i mi = _mm256_set1_epi8('-');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i tab = _mm256_set1_epi8('\t');
  const __m256i ctl = _mm256_set1_epi8(0x1F);
  const __m256i del = _mm256_set1_epi8(0x7F);
  Masks m{0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    __m256i v;
    std::memcpy(&v, p + 32 * k, 32);
    const __m256i d = _mm256_sub_epi8(v, zero);
    const auto bits = [](__m256i x) { return static_cast<u128>(static_cast<std::uint32_t>(_mm256_movemask_epi8(x))); };
    const int shift = 32 * k;
    const __m256i is_lf = _mm256_cmpeq_epi8(v, lf);
    const __m256i is_cr = _mm256_cmpeq_epi8(v, cr);
    const __m256i allowed = _mm256_or_si256(_mm256_or_si256(is_lf, is_cr), _mm256_cmpeq_epi8(v, tab));
    const __m256i odd = _mm256_or_si256(_mm256_andnot_si256(allowed, _mm256_cmpeq_epi8(_mm256_min_epu8(v, ctl), v)),
                                        _mm256_cmpeq_epi8(_mm256_max_epu8(v, del), v));
    m.nl |= bits(is_lf) << shift;
    m.blank |= bits(_mm256_cmpeq_epi8(_mm256_max_epu8(v, sp), sp)) << shift;
    m.digit |= bits(_mm256_cmpeq_epi8(_mm256_min_epu8(d, nine), d)) << shift;
    m.point |= bits(_mm256_cmpeq_epi8(v, pt)) << shift;
    m.minus |= bits(_mm256_cmpeq_epi8(v, mi)) << shift;
    m.cr |= bits(is_cr) << shift;
    m.odd |= bits(odd) << shift;
  }
  return m;
}
#elif defined(__SSE2__)
Masks masks_at(const char* p) noexcept {
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i sp = _mm_set1_epi8(' ');
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i pt = _mm_set1_epi8('.');
  const __m128i mi = _mm_set1_epi8('-');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i ctl = _mm_set1_epi8(0x1F);
  const __m128i del = _mm_set1_epi8(0x7F);
  Masks m{0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < 8; ++k) {
    __m128i v;
    std::memcpy(&v, p + 16 * k, 16);
    const __m128i d = _mm_sub_epi8(v, zero);
    const auto bits = [](__m128i x) { return static_cast<u128>(static_cast<std::uint32_t>(_mm_movemask_epi8(x))); };
    const int shift = 16 * k;
    const __m128i is_lf = _mm_cmpeq_epi8(v, lf);
    const __m128i is_cr = _mm_cmpeq_epi8(v, cr);
    const __m128i allowed = _mm_or_si128(_mm_or_si128(is_lf, is_cr), _mm_cmpeq_epi8(v, tab));
    const __m128i odd = _mm_or_si128(_mm_andnot_si128(allowed, _mm_cmpeq_epi8(_mm_min_epu8(v, ctl), v)),
                                     _mm_cmpeq_epi8(_mm_max_epu8(v, del), v));
    m.nl |= bits(is_lf) << shift;
    m.blank |= bits(_mm_cmpeq_epi8(_mm_max_epu8(v, sp), sp)) << shift;
    m.digit |= bits(_mm_cmpeq_epi8(_mm_min_epu8(d, nine), d)) << shift;
    m.point |= bits(_mm_cmpeq_epi8(v, pt)) << shift;
    m.minus |= bits(_mm_cmpeq_epi8(v, mi)) << shift;
    m.cr |= bits(is_cr) << shift;
    m.odd |= bits(odd) << shift;
  }
  return m;
}
#endif

u128 low_bits(unsigned n) noexcept { return n >= 128 ? ~u128{0} : (u128{1} << n) - 1; }
// Bits s to e (s <= e < 128); for e = 127 the wrap-around gives the same.
u128 span_bits(unsigned s, unsigned e) noexcept { return (u128{2} << e) - (u128{1} << s); }
unsigned ctz128(u128 x) noexcept {
  const auto lo = static_cast<std::uint64_t>(x);
  return lo != 0 ? static_cast<unsigned>(__builtin_ctzll(lo))
                 : 64U + static_cast<unsigned>(__builtin_ctzll(static_cast<std::uint64_t>(x >> 64)));
}
int pop128(u128 x) noexcept {
  return __builtin_popcountll(static_cast<std::uint64_t>(x)) +
         __builtin_popcountll(static_cast<std::uint64_t>(x >> 64));
}
bool single_bit(u128 x) noexcept { return x != 0 && (x & (x - 1)) == 0; }

// The value of the len (0 to 8) digits that end at `end`, eight at a time.
// Reads the eight bytes before `end`.
std::uint64_t digits8(const char* end, unsigned len) noexcept {
  if (len == 0) return 0;
  std::uint64_t v;
  std::memcpy(&v, end - 8, 8);
  // Earlier bytes become leading zeros, the digits their values.
  v &= (~std::uint64_t{0} << (8 * (8 - len))) & 0x0F0F0F0F0F0F0F0FULL;
  v = (v * 10) + (v >> 8);
  v = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
       (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
      32;
  return v;
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The value field, [s, e] of the line, when it is a plain decimal with an
// optional exponent of up to three digits and at most 15 digits in all: an
// integer and a power of ten both exact in a double, so one multiplication or
// division rounds once, as std::from_chars does. False for anything else.
bool value_of(const char* p, unsigned s, unsigned e, const Masks& m, float& value, bool& fixed) noexcept {
  const bool neg = p[s] == '-';
  const unsigned ds = s + (neg ? 1U : 0U);
  if (ds > e) return false;
  unsigned mant_end = e + 1;  // one past the mantissa
  int exp10 = 0;
  u128 nd = span_bits(ds, e) & ~m.digit;
  fixed = true;
  if (!single_bit(nd) || (nd & m.point) == 0) {
    unsigned x = ds;  // the exponent letter
    while (x <= e && (p[x] | 0x20) != 'e') ++x;
    if (x == ds || x >= e) return false;
    unsigned k = x + 1;
    const bool eneg = p[k] == '-';
    if (p[k] == '-' || p[k] == '+') ++k;
    if (k > e || e - k > 2 || (span_bits(k, e) & ~m.digit) != 0) return false;
    for (; k <= e; ++k) exp10 = 10 * exp10 + (p[k] - '0');
    if (eneg) exp10 = -exp10;
    mant_end = x;
    nd = span_bits(ds, x - 1) & ~m.digit;
    if (nd != 0 && (!single_bit(nd) || (nd & m.point) == 0)) return false;
    fixed = false;
  }
  const unsigned q = nd != 0 ? ctz128(nd) : mant_end;  // the point, or the mantissa's end
  const unsigned li = q - ds;
  const unsigned lf = q < mant_end ? mant_end - q - 1 : 0;
  if (li + lf == 0 || li > 8 || lf > 8 || li + lf > 15) return false;
  const std::uint64_t mant = digits8(p + q, li) * kPow10Int[lf] + digits8(p + mant_end, lf);
  const int k = exp10 - static_cast<int>(lf);
  if (k < -22 || k > 22) return false;
  double d = static_cast<double>(mant);
  d = k < 0 ? d / kPow10[-k] : d * kPow10[k];
  value = static_cast<float>(neg ? -d : d);
  return true;
}

// A data line of len (< 128) bytes through its masks; false when the masks
// cannot settle it.
bool line_by_masks(const char* p, unsigned len, const Masks& m, detail::Line& out) noexcept {
  const u128 nonblank = ~m.blank & low_bits(len);
  u128 st = nonblank & ~(nonblank << 1);
  u128 en = nonblank & ~(nonblank >> 1);
  if (pop128(st) < 9) return false;
  const u128 starts = st;
  unsigned s[9];
  unsigned e[9];
  for (int i = 0; i < 9; ++i) {
    s[i] = ctz128(st);
    st &= st - 1;
    e[i] = ctz128(en);
    en &= en - 1;
  }
  // X, Y, ZELEV, ZHILL, ZFLAG: digits with one point each, a minus only in front.
  const u128 numeric = span_bits(s[0], e[1]) | span_bits(s[3], e[5]);
  if ((nonblank & numeric & ~(m.digit | m.point | (m.minus & starts))) != 0) return false;
  u128 points = m.point & numeric;
  if (pop128(points) != 5 || (points & ~((m.digit << 1) | (m.digit >> 1))) != 0) return false;
  constexpr int kNumeric[5] = {0, 1, 3, 4, 5};
  bool stray = false;
  for (const int f : kNumeric) {
    const unsigned q = ctz128(points);
    points &= points - 1;
    stray |= q < s[f] || q > e[f];
  }
  if (stray) return false;
  if (e[8] - s[8] >= 9 || (span_bits(s[8], e[8]) & ~m.digit) != 0) return false;
  if (!value_of(p, s[2], e[2], m, out.value, out.fixed)) return false;
  out.key = p + s[6];
  out.key_len = e[8] - s[6] + 1;
  out.period = p + s[6];
  out.period_len = e[6] - s[6] + 1;
  out.group = p + s[7];
  out.group_len = e[7] - s[7] + 1;
  out.date = p + s[8];
  out.date_len = e[8] - s[8] + 1;
  return true;
}

// AERMOD's own layout, (3(1X,F13.5),3(1X,F8.2),2X,A6,2X,A8,2X,I8.8,2X,A8),
// or with the value in E13.6: every column is known, so a whole line is
// checked against constant masks at once. Columns counted from 0.
constexpr u128 cols(unsigned first, unsigned last) noexcept { return (u128{2} << last) - (u128{1} << first); }
constexpr u128 col(unsigned c) noexcept { return u128{1} << c; }
// Blanks that part the fields (the one before the network id ends the date).
constexpr u128 kSep =
    col(0) | col(14) | col(28) | col(42) | col(51) | col(60) | cols(69, 70) | cols(77, 78) | cols(87, 88) | col(97);
constexpr u128 kAve = cols(71, 76);
constexpr u128 kGrp = cols(79, 86);
constexpr u128 kDate = cols(89, 96);
// X, Y, ZELEV, ZHILL, ZFLAG: before the point, the point, after it.
constexpr u128 kPre = cols(1, 7) | cols(15, 21) | cols(43, 47) | cols(52, 56) | cols(61, 65);
constexpr u128 kPoints = col(8) | col(22) | col(48) | col(57) | col(66);
constexpr u128 kFrac = cols(9, 13) | cols(23, 27) | cols(49, 50) | cols(58, 59) | cols(67, 68);
constexpr unsigned kKeyAt = 71;
constexpr unsigned kKeyLen = 26;

// Each field's part before its point is one run of non-blanks (a minus only
// at its start, digits otherwise) that ends at the point.
bool pre_points_fit(u128 nonblank, const Masks& m, u128 pre, u128 points) noexcept {
  const u128 run = nonblank & pre;
  const u128 run_start = run & ~(run << 1);
  return run + run_start == points && (run & ~m.digit & ~(run_start & m.minus)) == 0;
}

bool line_by_layout(const char* p, unsigned len, const Masks& m, detail::Line& out) noexcept {
  if (len < 97) return false;
  const u128 nonblank = ~m.blank & low_bits(len);
  if ((nonblank & kSep) != 0 || (m.digit & kDate) != kDate) return false;
  // The period and the group: one run of non-blanks each.
  const u128 text = nonblank & (kAve | kGrp);
  const u128 text_start = text & ~(text << 1);
  if (!single_bit(text_start & kAve) || !single_bit(text_start & kGrp) || ((text + text_start) & text) != 0)
    return false;
  const bool fixed = (m.point & col(36)) != 0;
  std::uint64_t mant = 0;
  int k = 0;
  unsigned first = 0;  // the value's first character
  if (fixed) {
    // F13.5
    const u128 pre = kPre | cols(29, 35);
    const u128 points = kPoints | col(36);
    const u128 frac = kFrac | cols(37, 41);
    if ((m.point & (pre | points | frac)) != points || (m.digit & frac) != frac ||
        !pre_points_fit(nonblank, m, pre, points))
      return false;
    first = ctz128(nonblank & cols(29, 35));
    const unsigned digits_from = first + (p[first] == '-' ? 1U : 0U);
    mant = digits8(p + 36, 36 - digits_from) * 100000 + digits8(p + 42, 5);
    k = -5;
  } else {
    // E13.6: [-]0.ddddddE+xx
    const u128 pre = kPre | cols(29, 30);
    const u128 points = kPoints | col(31);
    const u128 frac = kFrac | cols(32, 37) | cols(40, 41);
    if ((m.point & (pre | points | frac)) != points || (m.digit & frac) != frac || (p[38] | 0x20) != 'e' ||
        (p[39] != '-' && p[39] != '+') || !pre_points_fit(nonblank, m, pre, points))
      return false;
    first = ctz128(nonblank & cols(29, 30));
    const unsigned digits_from = first + (p[first] == '-' ? 1U : 0U);
    mant = digits8(p + 31, 31 - digits_from) * 1000000 + digits8(p + 38, 6);
    const int e = 10 * (p[40] - '0') + (p[41] - '0');
    k = (p[39] == '-' ? -e : e) - 6;
    if (k < -22 || k > 22) return false;
  }
  const double d = k < 0 ? static_cast<double>(mant) / kPow10[-k] : static_cast<double>(mant) * kPow10[k];
  out.value = static_cast<float>(p[first] == '-' ? -d : d);
  out.fixed = fixed;
  out.key = p + kKeyAt;
  out.key_len = kKeyLen;
  out.period = nullptr;  // found in the key's text only when it is decoded
  return true;
}

#endif

bool same_bytes(const char* a, const char* b, std::size_t n) noexcept {
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  std::uint64_t diff = 0;
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    diff |= x ^ y;
  }
  std::uint64_t x, y;
  std::memcpy(&x, a + n - 8, 8);
  std::memcpy(&y, b + n - 8, 8);
  return (diff | (x ^ y)) == 0;
}

bool same_key(const Key& a, const Key& b) noexcept {
  return a.kurdat == b.kurdat && a.kave == b.kave && std::memcmp(a.grpid.data(), b.grpid.data(), 8) == 0 &&
         std::memcmp(a.ave.data(), b.ave.data(), 8) == 0;
}

template <bool Wide>
void scan_loop(const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept {
  out.entries = out.run_count = out.lines = 0;
  out.first_fixed = -1;
  const char* prev_key = nullptr;  // the last data line's key fields, as text
  std::uint32_t prev_len = 0;
  std::size_t pos = begin;
  while (pos < end) {
    const char* p = text + pos;
    const std::size_t avail = end - pos;
    std::size_t len = 0;
    std::size_t next = 0;
    bool ok = false;
    detail::Line line;
    bool bad = false;
#if defined(KESTREL_PLOT_MASKS)
    if constexpr (Wide) {
      const Masks m = masks_at(p);
      const u128 nl = m.nl & low_bits(static_cast<unsigned>(avail < 128 ? avail : 128));
      if (nl != 0 || avail < 128) {
        len = nl != 0 ? ctz128(nl) : avail;
        // A carriage return that no line feed follows ends a line too.
        const u128 lone_cr = m.cr & ~(nl >> 1) & low_bits(static_cast<unsigned>(len));
        if (lone_cr != 0) len = ctz128(lone_cr);
        next = nl != 0 || lone_cr != 0 ? pos + len + 1 : end;
        if (len != 0 && *p == '*') {
          ++out.lines;
          pos = next;
          continue;
        }
        bad = (m.odd & low_bits(static_cast<unsigned>(len))) != 0;
        ok = !bad && (line_by_layout(p, static_cast<unsigned>(len), m, line) ||
                      line_by_masks(p, static_cast<unsigned>(len), m, line));
      }
    }
#endif
    if (next == 0) {  // not settled above: the line's end found byte by byte
      const char* e = detail::line_end(p, p + avail);
      len = static_cast<std::size_t>(e - p);
      next = e != p + avail ? pos + len + 1 : end;
      if (len != 0 && *p == '*') {
        ++out.lines;
        pos = next;
        continue;
      }
    }
    if (!ok && (bad || len > kMaxLine || !detail::read_line(p, len, line))) {
      out.stop = Stop::bad_line;
      out.stop_offset = static_cast<std::uint32_t>(pos);
      out.stop_next = static_cast<std::uint32_t>(next);
      return;
    }
    Key key;
    bool new_run = false;
    if (prev_key == nullptr || line.key_len != prev_len || !same_bytes(line.key, prev_key, prev_len)) {
      if (line.period == nullptr) detail::find_key_fields(line);
      detail::decode_key(line, key);
      new_run = out.run_count == 0 || !same_key(key, out.runs[out.run_count - 1].key);
    }
    if (out.entries == out.max_entries || (new_run && out.run_count == out.max_runs)) {
      out.stop = Stop::full;
      out.stop_offset = static_cast<std::uint32_t>(pos);
      return;
    }
    if (new_run) {
      Run& r = out.runs[out.run_count++];
      r.key = key;
      r.first_entry = out.entries;
      r.line = out.lines;
      r.offset = static_cast<std::uint32_t>(pos);
    }
    prev_key = line.key;
    prev_len = line.key_len;
    out.values[out.entries] = line.value;
    out.offsets[out.entries] = static_cast<std::uint32_t>(pos);
    if (line.fixed && out.first_fixed < 0) out.first_fixed = out.entries;
    ++out.entries;
    ++out.lines;
    pos = next;
  }
  out.stop = Stop::end;
}

}  // namespace
}  // namespace kestrel::plot
