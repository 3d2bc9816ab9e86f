#pragma once
// How the peer names a browser's bookmarks, a fact of each bookmark row of the source catalogue
// (stores/catalog/source_catalog.h). The bookmark requests and the agent's bookmark state file ask the
// row for it instead of telling the browsers apart.

#include <QString>
#include <cstdint>

enum class BookmarkNaming {
    // The peer reads the browser's own file and names no bookmark (Safari): replies carry no
    // identifier and the state file keeps no records.
    NoIdentifier,
    // The key is the path of the bookmark's file (Internet Explorer's favourites) and the
    // identifier is made from the path (FavoriteIdOfPath); only the check list leads an
    // identifier back to its key, so its entries and state records carry the identifier words.
    FilePath,
    // The key is the "%d" text of a 32-bit row number, the identifier's low word; the high
    // word is 0 in replies and means nothing in requests (Firefox).
    RowNumber,
    // The key is the decimal text of the 64-bit identifier, signed (Opera) or unsigned (Chrome).
    SignedNumber,
    UnsignedNumber,
};

constexpr bool KeysArePaths(BookmarkNaming naming)
{
    return naming == BookmarkNaming::FilePath;
}

constexpr bool HasIdentifiers(BookmarkNaming naming)
{
    return naming != BookmarkNaming::NoIdentifier;
}

// The key a store names the bookmark of this 64-bit identifier (high word above) by; empty where
// the key is no number (file paths, no identifiers).
QString BookmarkKeyOfId(BookmarkNaming naming, std::uint64_t id);

// The identifier a key stands for: a row number with 0 above it, or the 64-bit number; 0 where
// the key is no number.
std::uint64_t BookmarkIdOfKeyText(BookmarkNaming naming, const QString& key);

// Whether the key names the bookmark the peer means by `id`: a row number compares with the low
// word only, a 64-bit number as its exact text. Never for file paths, whose identifier words the
// check list keeps instead, nor without identifiers.
bool BookmarkKeyNamesId(BookmarkNaming naming, const QString& key, std::uint64_t id);

// Decimal text as the shell's integer readers take it: an optional sign, then digits up to
// the first other character; no digits is 0; overflow wraps.
std::int32_t DecimalToInt32(const QString& text);
std::int64_t DecimalToInt64(const QString& text);
