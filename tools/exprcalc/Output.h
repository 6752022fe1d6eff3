// Standard output as the calculator writes it: through write(2) with a buffer
// of its own, so that a failed write (a full disk, a closed descriptor) is
// seen with its reason instead of being lost when the process exits.
#pragma once

#include <streambuf>
#include <string>

namespace calculator {

class DescriptorOutput : public std::streambuf {
 public:
  explicit DescriptorOutput(int descriptor);
  DescriptorOutput(const DescriptorOutput&) = delete;
  DescriptorOutput& operator=(const DescriptorOutput&) = delete;

  // The errno of the first write that failed, 0 while every write succeeded.
  // After a failure nothing more is written and the stream reports failure.
  int Error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  bool WritePending();

  static constexpr std::size_t Capacity = 4096;
  int descriptor_;
  int error_ = 0;
  char buffer_[Capacity];
};

// "exprcalc: write error: REASON" for the errno of a failed write.
std::string WriteErrorLine(int error);

}  // namespace calculator
