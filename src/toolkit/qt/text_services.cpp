// SPDX-License-Identifier: MIT
#include "toolkit/qt/text_services.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <algorithm>

#include "toolkit/utf8.h"

namespace pelmora::toolkit::qt {
namespace {

// The system decoder behaves as UTF-8 when it joins a valid two-byte
// sequence and rejects a lone lead byte.
bool DecoderIsUtf8() {
  QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
  if (!decoder.isValid()) return false;
  const QString probe = decoder(QByteArrayView("\xC3\xA9\xE9", 3));
  return probe == QString(QChar(0x00E9)) + QChar(QChar::ReplacementCharacter);
}

}  // namespace

QtTextServices::QtTextServices(QLocale locale)
    : locale_(std::move(locale)),
      systemIsUtf8_(DecoderIsUtf8()),
      // Only Turkish and Azerbaijani lower-case a Latin capital otherwise
      // (I to a dotless ı); asking the locale would load its case tables.
      asciiLowersPlainly_(locale_.language() != QLocale::Turkish &&
                          locale_.language() != QLocale::Azerbaijani) {}

std::string QtTextServices::LowerCase(std::string_view text) const {
  // Most names are plain ASCII: lower-cased here as the locale would.
  if (asciiLowersPlainly_ && std::all_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
      })) {
    std::string lower(text);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
  }
  const QString lower =
      locale_.toLower(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  return lower.toStdString();
}

void QtTextServices::Decode(std::string_view osBytes, std::string& out) const {
  if (systemIsUtf8_) {
    SanitizeUtf8(osBytes, out);
    return;
  }
  QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
  const QString text =
      decoder(QByteArrayView(osBytes.data(), static_cast<qsizetype>(osBytes.size())));
  const QByteArray utf8 = text.toUtf8();
  out.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

}  // namespace pelmora::toolkit::qt
