#pragma once
// The freedesktop Trash, worked on the bytes of local names: a name that is not UTF-8 is trashed
// as itself, never as the look-alike a conversion through text would name.

#include <QByteArray>
#include <system_error>

// Moves the file, link or folder at `path` (absolute, local bytes) into a Trash with its
// .trashinfo record. The home Trash ($XDG_DATA_HOME/Trash; `dataHome` must exist) takes what is
// on its own volume; an item on another volume goes to that volume's Trash ($topdir/.Trash/$uid
// where the administrator made .Trash a sticky folder, else $topdir/.Trash-$uid). Nothing is
// ever copied: an item that no Trash on its volume can take stays (cross_device_link). A name
// already in the Trash gets a number before its extension ("report.2.txt").
std::error_code MoveIntoTrash(const QByteArray& path, const QByteArray& dataHome);
