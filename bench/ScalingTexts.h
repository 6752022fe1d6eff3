// Long texts of one shape, for the cost-per-byte and peak-memory
// measurements: a flat chain, nested parentheses and nested function calls.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace exprcalc::bench {

enum class Shape { Flat, Nested, Functions };

inline constexpr std::array<Shape, 3> AllShapes = {Shape::Flat, Shape::Nested, Shape::Functions};

// 1 KB, 10 KB, 100 KB, 1 MB and 16 MB.
inline constexpr std::array<std::size_t, 5> ScalingSizes = {1024, 10 * 1024, 100 * 1024, 1024 * 1024,
                                                            16 * 1024 * 1024};

std::string_view ShapeName(Shape shape) noexcept;

// A text of exactly `bytes` bytes ("1+1+…+1", "((…1…))" or "ABS(ABS(…1…))",
// blank-padded at the end) whose value is 1 or a count of ones.
std::string ScalingText(Shape shape, std::size_t bytes);

// The value ParseString must give for ScalingText(shape, bytes).
double ScalingValue(Shape shape, std::size_t bytes) noexcept;

}  // namespace exprcalc::bench
