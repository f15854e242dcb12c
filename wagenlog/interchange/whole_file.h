// Reading and writing a CSV file whole, through the platform's file layer: imports read the file
// before anything is stored, and exports write theirs only once the whole text is known.
#pragma once

#include <string>
#include <string_view>

namespace qdx::interchange {

// False when the file cannot be opened or read to its end.
bool ReadWholeFile(const std::string& path, std::string& text);
// Creates (or empties) the file and writes `bytes`; false when any step fails.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace qdx::interchange
