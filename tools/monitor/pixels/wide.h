// Exact 128-bit unsigned arithmetic for the few products of 64-bit values
// that shapes need, in plain 64-bit operations so every target (32-bit
// ones included) computes the same results.
#pragma once

#include <cassert>
#include <cstdint>

struct U128 {
  uint64_t hi = 0, lo = 0;
  friend bool operator<(const U128& a, const U128& b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }
  friend bool operator<=(const U128& a, const U128& b) { return !(b < a); }
};

inline U128 Multiply(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xFFFFFFFF, a1 = a >> 32, b0 = b & 0xFFFFFFFF, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFF) + (p10 & 0xFFFFFFFF);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFF)};
}

inline U128 Add(U128 a, U128 b) {
  const uint64_t lo = a.lo + b.lo;
  return {a.hi + b.hi + (lo < a.lo ? 1 : 0), lo};
}

// a - b, for b <= a.
inline U128 Subtract(U128 a, U128 b) {
  assert(b <= a);
  return {a.hi - b.hi - (a.lo < b.lo ? 1 : 0), a.lo - b.lo};
}

// a / d and a % d, for d > 0 and a quotient that fits 64 bits.
inline uint64_t Divide(U128 a, uint64_t d, uint64_t& remainder) {
  assert(d > 0 && a.hi < d);
  uint64_t quotient = 0;
  U128 rest{0, 0};
  for (int bit = 127; bit >= 0; --bit) {
    rest = {(rest.hi << 1) | (rest.lo >> 63), (rest.lo << 1) | ((bit >= 64 ? a.hi >> (bit - 64) : a.lo >> bit) & 1)};
    if (U128{0, d} <= rest) {
      rest = Subtract(rest, {0, d});
      if (bit < 64) quotient |= uint64_t{1} << bit;
    }
  }
  remainder = rest.lo;
  return quotient;
}
