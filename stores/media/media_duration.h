#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// Playing time of a media file in seconds, read from its headers where that is cheap: MP3
// (Xing/Info or VBRI frame count, else the constant bit rate), WAV (data size over byte rate),
// FLAC (STREAMINFO) and Ogg Vorbis, Opus and FLAC (last granule position). A few KiB of the
// file's start are read (and of what follows a long ID3v2 tag), its end only for Ogg (64 KiB).
// Anything else (MP4, WMA, Matroska...), or a file whose headers do not add up, is 0.
double ReadMediaDuration(const QString& localPath);

// The same over bytes in memory: `head` from the file's start (holding the first frame),
// `tail` its last bytes, `fileSize` the whole file's size.
double MediaDurationOf(const QByteArray& head, const QByteArray& tail, std::uint64_t fileSize);
