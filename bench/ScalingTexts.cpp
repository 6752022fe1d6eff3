// Builders of the long texts. Every text evaluates without error, so the
// measurement covers the whole text and not an early stop.
#include "ScalingTexts.h"

namespace exprcalc::bench {

std::string_view ShapeName(Shape shape) noexcept {
  switch (shape) {
    case Shape::Flat: return "flat";
    case Shape::Nested: return "nested";
    case Shape::Functions: return "functions";
  }
  return "?";
}

std::string ScalingText(Shape shape, std::size_t bytes) {
  std::string text;
  text.reserve(bytes);
  switch (shape) {
    case Shape::Flat: {  // "1" then "+1" while room remains
      text.push_back('1');
      while (text.size() + 2 <= bytes) text += "+1";
      break;
    }
    case Shape::Nested: {
      const std::size_t depth = (bytes - 1) / 2;
      text.append(depth, '(').append("1").append(depth, ')');
      break;
    }
    case Shape::Functions: {
      const std::size_t depth = (bytes - 1) / 5;
      for (std::size_t i = 0; i < depth; ++i) text += "ABS(";
      text.append("1").append(depth, ')');
      break;
    }
  }
  text.resize(bytes, ' ');
  return text;
}

double ScalingValue(Shape shape, std::size_t bytes) noexcept {
  return shape == Shape::Flat ? static_cast<double>((bytes + 1) / 2) : 1.0;
}

}  // namespace exprcalc::bench
