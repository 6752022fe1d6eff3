// Values at the edges of the arithmetic, for the oracles of columns: NaNs of
// either sign with different payloads (a signalling one too), divisors just
// under and over the zero threshold, the smallest numbers.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

namespace exprcalc::testing {

inline constexpr double ColumnExtremes[] = {std::bit_cast<double>(std::uint64_t{0xFFF8000000000000}),
                                            std::bit_cast<double>(std::uint64_t{0x7FF8000000000123}),
                                            std::bit_cast<double>(std::uint64_t{0xFFF80000000BEEF0}),
                                            std::bit_cast<double>(std::uint64_t{0x7FF0000000000001}),
                                            -std::numeric_limits<double>::infinity(),
                                            4.9e-14,
                                            -5e-14,
                                            -1e-15,
                                            std::numeric_limits<double>::denorm_min(),
                                            1e-300};

}  // namespace exprcalc::testing
