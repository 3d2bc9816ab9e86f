#include "platform/safe_name.h"

#include "common/errors.h"
#include "platform/local_name_codec.h"

bool IsSafeFileNameComponent(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || u == u'/' || u == u'\\')
            return false;
    }
    // Two texts that differ only in an unpaired surrogate would meet in one file name.
    if (HasUnpairedSurrogate(name))
        return false;
    // Names longer than a file system takes would fail later with a less clear error.
    return name.toUtf8().size() <= 200;
}

const QString& RequireSafeFileNameComponent(const QString& name, const char* what)
{
    if (!IsSafeFileNameComponent(name))
        throw AgentError(std::string("refused ") + what + " as part of a file name: \"" +
                         name.left(80).toStdString() + "\"");
    return name;
}
