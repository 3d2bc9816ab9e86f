#include "platform/loaded_file_identity.h"

#include <sys/stat.h>

#include <QFile>

LoadedFileIdentity LoadedFileIdentity::Of(const QString& path)
{
    LoadedFileIdentity identity;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return identity;
    identity.exists = true;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modifiedSeconds = st.st_mtim.tv_sec;
    identity.modifiedNanoseconds = st.st_mtim.tv_nsec;
    return identity;
}
