#pragma once
// What an Outlook store asks of the connection its family shares: start the installed Outlook
// for a check or a delete-all, let it go again, and the category names of the running one. The
// stores declare it and the connection (outlook_connection.h) implements it, so the connection,
// which attaches the stores, is the only one of the two that knows the other.

#include <QStringList>

class OutlookAccess {
public:
    virtual ~OutlookAccess() = default;
    // True when an Outlook version is open (or was opened now); false when none starts.
    virtual bool OfficeInit() = 0;
    // Releases every Outlook object of every store. Always true.
    virtual bool OfficeDestroy() = 0;
    // Throws AgentError("Error") when Outlook cannot be created.
    virtual QStringList CategoryNames() const = 0;
};
