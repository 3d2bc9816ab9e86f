#pragma once
#include <QString>
#include <cstdint>
#include <optional>

// Facts about this computer and its user, in the place of the Windows system calls.
QString ComputerName();
// The name of the user running the agent; empty when it cannot be read.
QString UserName();
// A 32-bit serial of the volume holding the system ("C:\"), from the file system's id.
std::optional<std::uint32_t> SystemVolumeSerial();
