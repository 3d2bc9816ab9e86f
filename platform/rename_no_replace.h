#pragma once
#include <QByteArray>
#include <system_error>

// Renames `from` to `to` on local bytes, within one volume, never replacing an existing `to`
// (file_exists, both left as they were): nothing is ever copied, and a move to another volume is
// cross_device_link. Both the shell's rename and the Trash build on it.
std::error_code RenameNoReplaceOnVolume(const QByteArray& from, const QByteArray& to);
