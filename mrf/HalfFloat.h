#pragma once
// Half-precision (16-bit IEEE binary16) storage of a float, for kept flows.
//
// A kept flow is only a start for the next move: any flow, clamped to the new
// capacities, is a valid one, so rounding it costs that move some search,
// never exactness. Half precision keeps 11 significant bits, enough that the
// rounding leaves little to route, in half the bytes of a float.
//
// toHalf rounds to nearest (ties to even), toHalfTowards up or down as
// asked; magnitudes from the largest half (65504) on become that largest half
// of the same sign, and magnitudes below the smallest normal half (2^-14)
// become a zero of the same sign whatever was asked (no subnormal half is
// made: a flow that small costs the next move next to nothing to route).
// fromHalf is exact, subnormal halves included. No infinity or NaN is ever
// made: a flow is finite. Making a half takes a few integer operations and
// no branch (callers pick the side from data, one value to the next);
// reading one never has a float subnormal as an operand.
#include <cstdint>
#include <cstring>

namespace orbelt {

namespace half_detail {

constexpr std::uint32_t kLargest = 0x477FE000u;         // 65504 as a float's bits
constexpr std::uint32_t kSmallestNormal = 0x38800000u;  // 2^-14
constexpr std::uint32_t kRebias = 0x38000000u;          // (127 - 15) << 23

// The half nearest to `value` (side 0), or the nearest on one side of it:
// at least `value` (side > 0) or at most it (side < 0), where the halves
// reach. Without a branch: the side comes from data, one value to the next.
inline std::uint16_t encode(float value, int side) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
  const std::uint32_t magnitude = (bits & 0x7FFFFFFFu) < kLargest ? bits & 0x7FFFFFFFu : kLargest;
  const bool away = (side > 0) != (sign != 0);
  // Added before the 13 low bits are dropped: to nearest (ties to even),
  // away from zero, or towards it. A carry out of the mantissa lands in the
  // exponent, as it should; from kLargest it stays the largest half.
  // Masks rather than conditionals: the compiler turned those into branches,
  // and one mispredicted in every few pixels when whole grids are read back.
  const std::uint32_t nearest = 0x0FFFu + ((magnitude >> 13) & 1u);
  const std::uint32_t directed = 0x1FFFu & (0u - static_cast<std::uint32_t>(away));
  const std::uint32_t toNearest = 0u - static_cast<std::uint32_t>(side == 0);
  const std::uint32_t rounding = (nearest & toNearest) | (directed & ~toNearest);
  const std::uint32_t normal = 0u - static_cast<std::uint32_t>(magnitude >= kSmallestNormal);
  // Below the smallest normal the sum wraps; the mask makes it zero.
  const std::uint32_t half = ((magnitude + rounding - kRebias) >> 13) & normal;
  return static_cast<std::uint16_t>(sign | half);
}

}  // namespace half_detail

inline std::uint16_t toHalf(float value) { return half_detail::encode(value, 0); }

// The half nearest to `value` that is at least `value` (up) or at most it.
inline std::uint16_t toHalfTowards(float value, bool up) { return half_detail::encode(value, up ? 1 : -1); }

// The half next to `half` above it (up) or below it, subnormal halves
// included; the largest half of either sign has none beyond it and stays.
// Both zeros step to the smallest subnormal of the side asked for.
inline std::uint16_t nextHalf(std::uint16_t half, bool up) {
  const bool negative = (half & 0x8000u) != 0;
  const std::uint16_t magnitude = half & 0x7FFFu;
  if (magnitude == 0) return up ? std::uint16_t{0x0001u} : std::uint16_t{0x8001u};
  // Away from zero: one more in the magnitude; towards it: one less.
  if (up != negative) return magnitude >= 0x7BFFu ? half : static_cast<std::uint16_t>(half + 1);
  return static_cast<std::uint16_t>(half - 1);
}

inline float fromHalf(std::uint16_t half) {
  const std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000u) << 16;
  const std::uint32_t magnitude = half & 0x7FFFu;
  float value;
  if (magnitude < 0x0400u) {
    // Below 2^-14: multiples of 2^-24, made from the integer so that no
    // float subnormal is ever an operand (slow on many processors).
    value = static_cast<float>(magnitude) * 0x1p-24f;
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits |= sign;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // The half's exponent and mantissa in a float's places, rebiased.
  const std::uint32_t bits = sign | ((magnitude << 13) + half_detail::kRebias);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace orbelt
