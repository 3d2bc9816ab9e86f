#pragma once
#include <QString>

// Texts from the peer (machine identifier, notes suffix, group and calendar names) become
// parts of file names. A text that could leave its folder or is not a plain name is refused.
bool IsSafeFileNameComponent(const QString& name);

// Returns `name` unchanged, or throws AgentError naming `what` when it is not a safe component.
const QString& RequireSafeFileNameComponent(const QString& name, const char* what);
