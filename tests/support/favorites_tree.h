#pragma once
// A small Internet Explorer Favorites folder below a TempHome, made of the real favourite files
// in tests/data/ie-favorites and a few made for the cases they lack:
//
//   Favorites/Bing.url                                  real, CR LF, URL= after IDList=
//   Favorites/Café/Crème brûlée.url                     Latin-1 names, an address with byte 0xE8
//   Favorites/Featured wallpapers.url                   real, LF, BASEURL= lines before URL=
//   Favorites/Hard/CNC Milling/Комплектующие/Ладога.url real, three folders deep
//   Favorites/Links/NOTES.URL                           ".URL" in capitals: not a favourite
//   Favorites/Links/Suggested Sites.url                 real, CR LF
//   Favorites/Links/readme.txt                          not a favourite
//   Favorites/No address.url                            no "URL=" line
//   Favorites/x.url/Inside.url                          a folder whose name ends in ".url"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "support/temp_home.h"

// Relative to the Favorites folder, in the order a walk lists them.
QStringList FavoritesTreeFiles();

// Creates the tree in `home` and returns the Favorites folder.
QString MakeFavoritesTree(const TempHome& home);

// The content the store writes for an address.
QByteArray UrlFileBytes(const QByteArray& latin1Url);
