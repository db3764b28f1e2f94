// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <string_view>

namespace pelmora::toolkit {

// Text services that depend on the system's locale. All text is UTF-8.
class TextServices {
 public:
  virtual ~TextServices() = default;
  // Locale-aware lower-casing.
  virtual std::string LowerCase(std::string_view text) const = 0;
  // Decodes bytes the OS gave (a path) from the system's encoding into
  // out. Invalid bytes become U+FFFD.
  virtual void Decode(std::string_view osBytes, std::string& out) const = 0;
};

}  // namespace pelmora::toolkit
