#pragma once
// The category names Outlook 8, 9 and 11 keep in the registry, each followed by ";".

#include <QString>

// Version 8's default value, 9's "MasterList" text, 11's "MasterList" UTF-16 bytes; a missing
// key or value adds nothing. Empty for any other version.
QString RegistryCategoryNames(int version);
