#include "platform/address_book/wab_open.h"

#include "platform/address_book/wab_faults.h"
#include "platform/known_folders.h"
#include "platform/registry.h"

namespace wab {

QString InstalledLibraryPath()
{
    const QString where = QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromUtf16(kWabDllPathKey);
    auto fail = [&](const char* what) -> QString {
        throw WabError(WabStatus::NotFound,
                       "no address book is installed: " + where.toStdString() + " " + what);
    };
    const auto key = RegistryKey::Open(RegistryRoot::LocalMachine, QString::fromUtf16(kWabDllPathKey));
    if (!key) return fail("does not exist");
    const auto value = key->ReadValue(QString());
    if (!value) return fail("has no default value");
    if (value->type != RegistryType::String && value->type != RegistryType::ExpandString)
        return fail("is not a text value");
    // Taken as stored: UTF-16 units with the terminating zero, which must fit the platform's buffer.
    if (value->data.size() % 2 != 0 || value->data.size() > kMaxLibraryPathUnits * 2)
        return fail("is longer than a path");
    QString path = QString::fromUtf16(reinterpret_cast<const char16_t*>(value->data.constData()),
                                      value->data.size() / 2);
    if (const qsizetype zero = path.indexOf(QChar(0)); zero >= 0) path.truncate(zero);
    if (path.isEmpty()) return fail("is empty");
    return path;
}

QString DefaultAddressBookPath()
{
    return AgentDataDir() + QLatin1Char('/') + QLatin1String(kAddressBookFileName);
}

std::unique_ptr<AddressBook> WABOpen(const WabParam& param)
{
    CheckFault(WabCall::Open);
    if (!param.fileName.isEmpty()) return AddressBook::OpenFile(param.fileName);
    (void)InstalledLibraryPath();
    return AddressBook::OpenFile(DefaultAddressBookPath());
}

}  // namespace wab
