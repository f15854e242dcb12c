// Pins the user default locale for the length of a test, so that text forms and comparisons do
// not depend on the machine's environment.
#pragma once

#include <string_view>

#include "engine/foundation/platform/locale.h"

namespace qdx::testing {

class ScopedUserLocale {
 public:
  explicit ScopedUserLocale(std::string_view name)
      : previous_(platform::SetUserDefaultLocale(platform::Locale::Get(name))) {}
  ~ScopedUserLocale() { platform::SetUserDefaultLocale(previous_); }
  ScopedUserLocale(const ScopedUserLocale&) = delete;
  ScopedUserLocale& operator=(const ScopedUserLocale&) = delete;

 private:
  const platform::Locale& previous_;
};

}  // namespace qdx::testing
