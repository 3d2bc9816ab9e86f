#include "stores/catalog/outlook_categories.h"

#include "common/byte_io.h"
#include "common/errors.h"
#include "platform/registry.h"
#include "stores/catalog/store_set.h"

namespace {

std::optional<RegistryKey> CategoriesKey(int version)
{
    return RegistryKey::Open(RegistryRoot::CurrentUser,
                             QStringLiteral("Software\\Microsoft\\Office\\%1.0\\Outlook\\Categories").arg(version));
}

}  // namespace

QString Outlook8Categories(const StoreSet&)
{
    const auto key = CategoriesKey(8);
    return key ? key->ReadString(QString()).value_or(QString()) : QString();
}

QString Outlook9Categories(const StoreSet&)
{
    const auto key = CategoriesKey(9);
    return key ? key->ReadString(QStringLiteral("MasterList")).value_or(QString()) : QString();
}

QString Outlook11Categories(const StoreSet&)
{
    const auto key = CategoriesKey(11);
    if (!key) return {};
    const auto bytes = key->ReadBinary(QStringLiteral("MasterList"));
    return bytes ? utf16::FromBytesUpToZero(AsBytes(*bytes)) : QString();
}

QString RunningOutlookCategories(const StoreSet& stores)
{
    if (!stores.outlookCategories) throw AgentError("Error");
    QString text;
    for (const QString& name : stores.outlookCategories()) text += name + QLatin1Char(';');
    return text;
}
