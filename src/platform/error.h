// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>

namespace docseek {

// The one exception family inside the plug-in. A failed document read, a list
// that refuses a line and a malformed value all end up here; none of them ever
// crosses the C boundary.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace docseek
