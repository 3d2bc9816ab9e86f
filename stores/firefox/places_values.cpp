#include "stores/firefox/places_values.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QUrl>
#include <algorithm>

namespace {

std::uint32_t GoldenRatioHash(const QByteArray& bytes, qsizetype length)
{
    std::uint32_t h = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const std::uint32_t rotated = h << 5 | h >> 27;
        h = 0x9E3779B9u * (rotated ^ static_cast<unsigned char>(bytes[i]));
    }
    return h;
}

}  // namespace

std::int64_t PlacesUrlHash(const QString& url)
{
    const QByteArray utf8 = url.toUtf8();
    std::int64_t hash = GoldenRatioHash(utf8, std::min<qsizetype>(utf8.size(), 1500));
    const qsizetype colon = utf8.left(50).indexOf(':');
    if (colon >= 0) hash += static_cast<std::int64_t>(GoldenRatioHash(utf8, colon) & 0xFFFF) << 32;
    return hash;
}

QString NewPlacesGuid()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    QString guid;
    for (int i = 0; i < 12; ++i) guid += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(64)]);
    return guid;
}

std::int64_t PlacesTimeNow()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

QString PlacesReversedHost(const QString& url)
{
    QString host = QUrl(url).host().toLower();
    std::reverse(host.begin(), host.end());
    return host + QLatin1Char('.');
}
