#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Local file names are bytes, most of them UTF-8; the agent holds them as text. The decoding
// here is one to one, so every name found on disk has exactly one text and that text leads back
// to exactly that name: each byte that is not part of UTF-8 becomes one character of a reserved
// private-use range (U+F780 + byte - 0x80), and a name's own characters of the range U+F77F to
// U+F7FF are marked with U+F77F in front. Plain UTF-8 names without such characters decode as
// UTF-8 does, so only the rare names need this.

inline constexpr char16_t kLocalByteStandInBase = 0xF780;  // stands for byte 0x80; 0xFF is U+F7FF
inline constexpr char16_t kLocalNameEscape = 0xF77F;

// The text of a local path or name.
QString DecodeLocalPath(QByteArrayView bytes);
// The bytes of a text made by DecodeLocalPath (or of any text without unpaired surrogates and
// stray escapes). Throws AgentError for a text that names no local file: one holding an unpaired
// UTF-16 surrogate, or an escape not followed by a character of the reserved range.
QByteArray EncodeLocalPath(const QString& path);

// Whether a text holds an unpaired UTF-16 surrogate (such texts have no UTF-8 form: converting
// them would put U+FFFD in their place, so two different texts would meet in one name).
bool HasUnpairedSurrogate(const QString& text);
