// SPDX-License-Identifier: MIT
#pragma once
#include <QLocale>
#include <string>
#include <string_view>

#include "toolkit/text_services.h"

namespace pelmora::toolkit::qt {

// Text services of the system's locale: lower-casing by the locale's rules
// and decoding of OS bytes from the system's 8-bit encoding.
class QtTextServices : public toolkit::TextServices {
 public:
  explicit QtTextServices(QLocale locale = QLocale::system());

  std::string LowerCase(std::string_view text) const override;
  void Decode(std::string_view osBytes, std::string& out) const override;

  // True when the system's encoding is UTF-8 (decoding then only validates).
  bool SystemIsUtf8() const { return systemIsUtf8_; }

 private:
  QLocale locale_;
  bool systemIsUtf8_;
  // Whether the locale lower-cases the letters A to Z as the C locale
  // does (Turkish and Azerbaijani do not: I becomes a dotless ı).
  bool asciiLowersPlainly_;
};

}  // namespace pelmora::toolkit::qt
