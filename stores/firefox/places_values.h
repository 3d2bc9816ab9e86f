#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// Values Firefox keeps beside the bookmarks and addresses of its places database, computed as
// Firefox computes them, so that rows the agent writes are found and kept by the browser.

// moz_places.url_hash: Firefox looks addresses up by it. A 32-bit golden-ratio hash of the
// first 1500 bytes of the UTF-8 address, plus, when a ":" stands in its first 50 bytes, the low
// 16 bits of the same hash of the scheme before it shifted into bits 32-47.
std::int64_t PlacesUrlHash(const QString& url);

// A new row guid: 12 random characters of A-Z a-z 0-9 - _ (Firefox's base64url alphabet).
QString NewPlacesGuid();

// Now in Firefox's time unit (PRTime): microseconds since 1970-01-01 UTC.
std::int64_t PlacesTimeNow();

// moz_places.rev_host: the address's host in lower case, its characters reversed, followed by
// "." ("www.mozilla.org" -> "gro.allizom.www."); "." for an address without a host.
QString PlacesReversedHost(const QString& url);
