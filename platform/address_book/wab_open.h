#pragma once
// WABOpen: the current user's address book, when one is installed.
//
// The machine says that an address book is installed by the default value of
// HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\WAB\DLLPath" (REG_SZ or REG_EXPAND_SZ, fitting 260 units
// with its terminating zero), which names the platform's library. Ours is linked in, so the
// text itself is not used. The book is "<agent data folder>/AddressBook.wab".

#include <QString>
#include <cstdint>
#include <memory>

#include "platform/address_book/address_book.h"

namespace wab {

inline constexpr char16_t kWabDllPathKey[] = u"SOFTWARE\\Microsoft\\WAB\\DLLPath";
inline constexpr char kAddressBookFileName[] = "AddressBook.wab";
// Units of the library path, its terminating zero included.
inline constexpr int kMaxLibraryPathUnits = 260;

struct WabParam {
    std::uint32_t cbSize = 32;
    // Empty: the current user's default book. Otherwise that file.
    QString fileName;
    std::uint32_t ulFlags = WAB_ENABLE_PROFILES;
};

// The library path the machine names; throws WabError(NotFound) saying what is missing or unfit.
QString InstalledLibraryPath();

// The default book's file: "<agent data folder>/AddressBook.wab" (the folder made when missing).
QString DefaultAddressBookPath();

// Opens the book the parameters name. For the default book the installation is checked first:
// without it no file is made. Throws WabError with the reason.
std::unique_ptr<AddressBook> WABOpen(const WabParam& param = {});

}  // namespace wab
