#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// Playing time of a media file in seconds, read from its headers where that is cheap: MPEG audio
// (Xing/Info or VBRI frame count, else the constant bit rate; the first two frames in a row within
// 16 KiB after any ID3v2 tags), WAV in RIFF, RIFX or RF64 (data size over byte rate), FLAC
// (STREAMINFO) and Ogg Vorbis, Opus, Speex and FLAC (granule position of the last whole page).
// A few KiB of the file's start are read (and of what follows its ID3v2 tags), its end only for
// Ogg (128 KiB). Anything else (MP4, WMA, Matroska...), or a file whose headers do not add up, is 0.
double ReadMediaDuration(const QString& localPath);

// The same over bytes in memory: `head` from the file's start, `tail` its last bytes, `fileSize`
// the whole file's size; what lies between them reads as missing.
double MediaDurationOf(const QByteArray& head, const QByteArray& tail, std::uint64_t fileSize);
