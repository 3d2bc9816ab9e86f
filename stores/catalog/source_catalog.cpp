#include "stores/catalog/source_catalog.h"

#include <QString>
#include <vector>

#include "stores/base/source_flags.h"

namespace {

struct Catalog {
    std::vector<SourceRow> rows;
    std::vector<std::size_t> familyOfRow;  // parallel to rows
};

// The families' rows one after the other, in the families' order: within a kind the rows stand
// in the order detection tries them, so families register in an order that keeps it.
const Catalog& TheCatalog()
{
    static const Catalog catalog = [] {
        Catalog c;
        const std::vector<FamilyDescription> families = RegisteredFamilies();
        for (std::size_t f = 0; f < families.size(); ++f)
            for (const SourceRow& row : families[f].rows()) {
                c.rows.push_back(row);
                c.familyOfRow.push_back(f);
            }
        return c;
    }();
    return catalog;
}

}  // namespace

std::span<const SourceRow> SourceCatalog()
{
    return TheCatalog().rows;
}

std::size_t FamilyIndexOf(const SourceRow& row)
{
    const Catalog& c = TheCatalog();
    return c.familyOfRow.at(static_cast<std::size_t>(&row - c.rows.data()));
}

const SourceRow* FindSource(SourceKind kind, std::uint32_t code)
{
    for (const SourceRow& row : SourceCatalog())
        if (row.kind == kind && row.code == code) return &row;
    return nullptr;
}

bool StoredAgentCodeOutlivesDetection(std::uint32_t code)
{
    for (const SourceRow& row : SourceCatalog())
        if (row.kind == SourceKind::Contacts && row.programVersion && code >= row.code) return false;
    return true;
}

QStringList ProgramNamesOfSource(std::uint32_t flag)
{
    // The media player is no source of the catalogue, but the peer asks for it all the same.
    if (flag == SourceFlags::kWindowsMediaPlayer) return {QStringLiteral("wmplayer.exe")};
    if (flag == 0) return {};
    for (const SourceRow& row : SourceCatalog())
        if (row.flag == flag && row.programs)
            return QString::fromLatin1(row.programs).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return {};
}
