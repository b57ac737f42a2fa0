// SPDX-License-Identifier: MIT
#pragma once

#include <docseek/plugin.h>

#include "platform/strings.h"

namespace docseek::boundary {

// A host's list seen through its C callbacks.
class HostList final : public platform::TStrings {
 public:
  explicit HostList(const docseek_list& list) : list_(list) {}

  // False for a null list or one from a host built against a header whose
  // list lacks the callbacks this version calls.
  static bool Usable(const docseek_list* list, bool reads);

  std::size_t Count() const override;
  std::string Get(std::size_t index) const override;
  void Add(std::string_view line) override;

 private:
  const docseek_list& list_;
};

}  // namespace docseek::boundary
