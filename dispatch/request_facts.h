#pragma once
// Facts that requests read again and again and that change rarely, kept between requests.
#include <QString>

#include "core/settings.h"

// The stored password as the login gate needs it, read again only when the settings file
// changed (see StoredPasswordCache).
StoredPassword CurrentStoredPassword();

// The computer name as AS_GET_OWNER answers it: taken once per connection, so that a renamed
// computer is named anew to the next connection, as the announcement names it anew.
QString ConnectionComputerName();
// Forgets what was taken for the connection that ends.
void ForgetConnectionFacts();
