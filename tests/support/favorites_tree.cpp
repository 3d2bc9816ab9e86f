#include "support/favorites_tree.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

QByteArray DataFile(const QString& relative)
{
    QFile file(QStringLiteral(TWINLARK_TEST_DATA "/ie-favorites/") + relative);
    if (!file.open(QIODevice::ReadOnly)) ADD_FAILURE() << "missing test data " << relative.toStdString();
    return file.readAll();
}

}  // namespace

QStringList FavoritesTreeFiles()
{
    return {
        QStringLiteral("Bing.url"),
        QString::fromUtf8("Café/Crème brûlée.url"),
        QStringLiteral("Featured wallpapers.url"),
        QString::fromUtf8("Hard/CNC Milling/Комплектующие/Ладога.url"),
        QStringLiteral("Links/Suggested Sites.url"),
        QStringLiteral("No address.url"),
        QStringLiteral("x.url/Inside.url"),
    };
}

QByteArray UrlFileBytes(const QByteArray& latin1Url)
{
    return "[InternetShortcut]\r\nURL=" + latin1Url + "\r\n";
}

QString MakeFavoritesTree(const TempHome& home)
{
    for (const char* real : {"Bing.url", "Featured wallpapers.url", "Links/Suggested Sites.url",
                             "Hard/CNC Milling/Комплектующие/Ладога.url"}) {
        const QString name = QString::fromUtf8(real);
        home.WriteFile(QStringLiteral("Favorites/") + name, DataFile(name));
    }
    home.WriteFile(QString::fromUtf8("Favorites/Café/Crème brûlée.url"),
                   UrlFileBytes("http://example.org/cr\xe8me"));
    home.WriteFile(QStringLiteral("Favorites/Links/NOTES.URL"), UrlFileBytes("http://example.org/notes"));
    home.WriteFile(QStringLiteral("Favorites/Links/readme.txt"), "not a favourite\r\n");
    home.WriteFile(QStringLiteral("Favorites/No address.url"), "[InternetShortcut]\r\nIDList=\r\n");
    home.WriteFile(QStringLiteral("Favorites/x.url/Inside.url"), UrlFileBytes("http://example.org/inside"));
    return home.Path(QStringLiteral("Favorites"));
}
