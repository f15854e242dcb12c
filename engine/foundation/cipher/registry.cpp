// The registry of cipher classes declared in cipher.h. It is filled once, on first use, with the
// one class the framework registers at start; afterwards it is only read.
#include <algorithm>
#include <cctype>

#include "engine/foundation/cipher/block_ciphers.h"
#include "engine/foundation/cipher/cipher.h"

namespace qdx {
namespace {

const std::vector<TCipherRegistration>& Registry() {
  static const std::vector<TCipherRegistration> registry = [] {
    std::vector<TCipherRegistration> entries;
    const TCipher_Rijndael rijndael;
    entries.push_back({CipherRegistryName(rijndael.ClassName()),
                       "Rijndael (AES), 128-bit block, keys of 128 to 256 bits",
                       &NewCipher<TCipher_Rijndael>});
    return entries;
  }();
  return registry;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string CipherRegistryName(std::string_view className) {
  if (!className.empty()) className.remove_prefix(1);
  const size_t underscore = className.find('_');
  if (underscore != std::string_view::npos) className.remove_prefix(underscore + 1);
  return std::string(className);
}

std::vector<std::string> RegisteredCiphers() {
  std::vector<std::string> lines;
  for (const TCipherRegistration& entry : Registry()) {
    lines.push_back(entry.Name + "=" + entry.Description);
  }
  return lines;
}

TCipherClass FindCipherClass(std::string_view name) {
  for (const TCipherRegistration& entry : Registry()) {
    if (SameTextIgnoringCase(entry.Name, name)) return entry.CipherClass;
  }
  return nullptr;
}

}  // namespace qdx
