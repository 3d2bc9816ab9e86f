#include "stores/outlook/outlook_categories.h"

#include "common/byte_io.h"
#include "platform/registry.h"

namespace {

std::optional<RegistryKey> CategoriesKey(int version)
{
    return RegistryKey::Open(RegistryRoot::CurrentUser,
                             QStringLiteral("Software\\Microsoft\\Office\\%1.0\\Outlook\\Categories").arg(version));
}

}  // namespace

QString RegistryCategoryNames(int version)
{
    const auto key = CategoriesKey(version);
    if (!key) return {};
    switch (version) {
        case 8:
            return key->ReadString(QString()).value_or(QString());
        case 9:
            return key->ReadString(QStringLiteral("MasterList")).value_or(QString());
        case 11: {
            const auto bytes = key->ReadBinary(QStringLiteral("MasterList"));
            return bytes ? utf16::FromBytesUpToZero(AsBytes(*bytes)) : QString();
        }
        default:
            return {};
    }
}
