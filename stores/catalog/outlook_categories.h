#pragma once
// The category names of the Outlook contacts sources, each followed by ";".

#include <QString>

class StoreSet;

// Outlook 8, 9 and 11 keep their category list in the registry; a missing key or value adds
// nothing.
QString Outlook8Categories(const StoreSet& stores);
QString Outlook9Categories(const StoreSet& stores);
QString Outlook11Categories(const StoreSet& stores);
// Outlook 12 and 14 are asked through the running Outlook; throws AgentError("Error") when
// no Outlook can be reached.
QString RunningOutlookCategories(const StoreSet& stores);
