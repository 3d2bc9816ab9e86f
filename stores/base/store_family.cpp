#include "stores/base/store_family.h"

#include <algorithm>

namespace {

// Filled while static objects are made, before main; read only after.
std::vector<FamilyDescription>& Registry()
{
    static std::vector<FamilyDescription> families;
    return families;
}

}  // namespace

FamilyRegistration::FamilyRegistration(FamilyDescription description)
{
    Registry().push_back(description);
}

const QStringList& BookmarkStateParts()
{
    // The rows are fixed once the families have registered, before main; every state file's
    // name is checked against these, so they are gathered once.
    static const QStringList parts = [] {
        QStringList found;
        for (const FamilyDescription& family : RegisteredFamilies())
            for (const SourceRow& row : family.rows())
                if (row.kind == SourceKind::Bookmarks && row.bookmarkStatePart && *row.bookmarkStatePart)
                    found << QString::fromLatin1(row.bookmarkStatePart);
        return found;
    }();
    return parts;
}

std::vector<FamilyDescription> RegisteredFamilies()
{
    std::vector<FamilyDescription> families = Registry();
    std::stable_sort(families.begin(), families.end(),
                     [](const FamilyDescription& a, const FamilyDescription& b) { return a.order < b.order; });
    return families;
}
