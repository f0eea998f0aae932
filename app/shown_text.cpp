#include "app/shown_text.h"

namespace pelarin {

std::string Shown(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      shown += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace pelarin
