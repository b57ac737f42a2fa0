// SPDX-License-Identifier: MIT
#include "boundary/host_list.h"

#include <cstddef>

#include "platform/error.h"

namespace docseek::boundary {

bool HostList::Usable(const docseek_list* list, bool reads) {
  if (list == nullptr || list->size < sizeof(docseek_list) || list->append == nullptr) return false;
  return !reads || (list->count != nullptr && list->line != nullptr);
}

std::size_t HostList::Count() const { return list_.count(list_.context); }

std::string HostList::Get(std::size_t index) const {
  std::size_t length = 0;
  const char* text = list_.line(list_.context, index, &length);
  return text == nullptr ? std::string() : std::string(text, length);
}

void HostList::Add(std::string_view line) {
  if (list_.append(list_.context, line.data(), line.size()) != 0) {
    throw Error("the host's list refused a line");
  }
}

}  // namespace docseek::boundary
