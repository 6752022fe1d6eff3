// The functions a host defines in a table: one-argument functions that read
// like the built-in ones, kept in the order they were defined. The language
// gives each a token kind of its own by its place in this list
// (language/HostKinds.h), so the parse treats it as a built-in function.
#pragma once

#include <cstddef>

#include "exprcalc.h"
#include "variables/NormaliseKey.h"

namespace exprcalc {

// The host's callback, as exprcalc_function declares it.
using HostCallback = exprcalc_function;

class HostFunctions {
 public:
  static constexpr std::size_t Most = 128;
  static constexpr int NotFound = -1;

  constexpr HostFunctions() noexcept = default;
  HostFunctions(const HostFunctions&) = delete;
  HostFunctions& operator=(const HostFunctions&) = delete;
  ~HostFunctions() { Release(); }

  std::size_t Count() const noexcept { return count_; }
  // The place of the function named key, or NotFound.
  int Find(const NormalisedKey& key) const noexcept {
    for (std::size_t i = 0; i < count_; ++i) {
      if (Same(entries_[i].key, key)) return static_cast<int>(i);
    }
    return NotFound;
  }
  // Defines the function named key, or gives an existing one a new callback.
  // False when no room can be had (then nothing changes).
  bool Define(const NormalisedKey& key, HostCallback call, void* user) noexcept;
  // Forgets the function named key; false when there is none. Every later
  // function moves down one place.
  bool Remove(const NormalisedKey& key) noexcept;
  // The callback and pointer of the function at place (place < Count()).
  HostCallback CallbackAt(std::size_t place) const noexcept { return entries_[place].call; }
  void* UserAt(std::size_t place) const noexcept { return entries_[place].user; }
  void Release() noexcept;

 private:
  struct Entry {
    NormalisedKey key;
    HostCallback call;
    void* user;
  };
  static bool Same(const NormalisedKey& a, const NormalisedKey& b) noexcept {
    for (std::size_t i = 0; i < NormalisedKey::WordCount; ++i) {
      if (a.Words()[i] != b.Words()[i]) return false;
    }
    return true;
  }

  Entry* entries_ = nullptr;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace exprcalc
