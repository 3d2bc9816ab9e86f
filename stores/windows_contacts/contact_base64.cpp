#include "stores/windows_contacts/contact_base64.h"

#include <array>

namespace ContactsVista {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kGroupsPerLine = 19;

constexpr std::array<signed char, 256> DecodeTable()
{
    std::array<signed char, 256> table{};
    for (auto& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    return table;
}
constexpr std::array<signed char, 256> kDecode = DecodeTable();

}  // namespace

QByteArray EncodeBase64Lines(const QByteArray& bytes)
{
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype whole = bytes.size() / 3;
    QByteArray out;
    out.reserve(whole * 4 + whole / kGroupsPerLine * 2 + 4);
    for (qsizetype g = 0; g < whole; ++g) {
        const unsigned v = (in[3 * g] << 16) | (in[3 * g + 1] << 8) | in[3 * g + 2];
        out.append(kAlphabet[(v >> 18) & 63]).append(kAlphabet[(v >> 12) & 63]);
        out.append(kAlphabet[(v >> 6) & 63]).append(kAlphabet[v & 63]);
        if ((g + 1) % kGroupsPerLine == 0) out.append("\r\n");
    }
    const qsizetype rest = bytes.size() - whole * 3;
    if (rest > 0) {
        const unsigned v = (in[3 * whole] << 16) | (rest == 2 ? in[3 * whole + 1] << 8 : 0);
        out.append(kAlphabet[(v >> 18) & 63]).append(kAlphabet[(v >> 12) & 63]);
        out.append(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=').append('=');
    }
    return out;
}

QByteArray DecodeBase64Lenient(QByteArrayView text)
{
    // Written through a pointer into a buffer of the largest size: a group file's member list is
    // many kilobytes, and appending byte by byte cost more than the rest of its reading.
    QByteArray out(text.size() / 4 * 3 + 3, Qt::Uninitialized);
    char* o = out.data();
    unsigned v = 0;
    int held = 0;
    for (char c : text) {
        const int d = kDecode[static_cast<unsigned char>(c)];
        if (d < 0) continue;
        v = (v << 6) | static_cast<unsigned>(d);
        if (++held == 4) {
            *o++ = static_cast<char>(v >> 16);
            *o++ = static_cast<char>(v >> 8);
            *o++ = static_cast<char>(v);
            v = 0;
            held = 0;
        }
    }
    if (held == 2) *o++ = static_cast<char>(v >> 4);
    if (held == 3) {
        *o++ = static_cast<char>(v >> 10);
        *o++ = static_cast<char>(v >> 2);
    }
    out.truncate(o - out.constData());
    return out;
}

void Base64TovPicture(const QString& text, QByteArray& picture)
{
    // Non-ASCII characters are outside the alphabet and skipped like line breaks.
    picture.append(DecodeBase64Lenient(text.toLatin1()));
}

}  // namespace ContactsVista
