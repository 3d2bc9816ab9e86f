#include "stores/media/media_duration.h"

#include <QFile>
#include <array>
#include <cstring>
#include <optional>

namespace {

// What is read of a file: its start, the frames after a long ID3v2 tag (pictures make them
// hundreds of KiB), and for Ogg its end, where the last granule position is.
constexpr qint64 kHeadBytes = 16 * 1024;
constexpr qint64 kFramesBytes = 8 * 1024;
constexpr qint64 kOggTailBytes = 64 * 1024;
constexpr qint64 kId3v1Bytes = 128;

// Checked reads over a byte array: every read outside it gives nothing.
class Bytes {
public:
    explicit Bytes(const QByteArray& data) : data_(data) {}
    std::size_t Size() const { return static_cast<std::size_t>(data_.size()); }
    bool Has(std::size_t pos, std::size_t count) const { return pos <= Size() && count <= Size() - pos; }
    bool Matches(std::size_t pos, const char* text) const
    {
        const std::size_t n = std::strlen(text);
        return Has(pos, n) && std::memcmp(data_.constData() + pos, text, n) == 0;
    }
    std::uint8_t U8(std::size_t pos) const
    {
        return static_cast<std::uint8_t>(data_[static_cast<qsizetype>(pos)]);
    }
    std::optional<std::uint32_t> U32Be(std::size_t pos) const
    {
        if (!Has(pos, 4)) return std::nullopt;
        return (std::uint32_t{U8(pos)} << 24) | (std::uint32_t{U8(pos + 1)} << 16) |
               (std::uint32_t{U8(pos + 2)} << 8) | U8(pos + 3);
    }
    std::optional<std::uint64_t> UnsignedLe(std::size_t pos, std::size_t width) const
    {
        if (!Has(pos, width)) return std::nullopt;
        std::uint64_t v = 0;
        for (std::size_t i = width; i-- > 0;) v = (v << 8) | U8(pos + i);
        return v;
    }

private:
    const QByteArray& data_;
};

// The size of an ID3v2 tag at the start, header and footer included; 0 when there is none.
std::size_t Id3v2Size(const Bytes& b)
{
    if (!b.Matches(0, "ID3") || !b.Has(0, 10)) return 0;
    std::size_t size = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (b.U8(i) & 0x80) return 0;  // not a sync-safe size: not a tag
        size = (size << 7) | b.U8(i);
    }
    const bool footer = b.U8(5) & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

double Wav(const Bytes& b, std::uint64_t fileSize)
{
    std::uint64_t byteRate = 0;
    for (std::size_t pos = 12; b.Has(pos, 8);) {
        const auto size = b.UnsignedLe(pos + 4, 4).value_or(0);
        if (b.Matches(pos, "fmt ")) {
            byteRate = b.UnsignedLe(pos + 16, 4).value_or(0);
        } else if (b.Matches(pos, "data")) {
            if (byteRate == 0) return 0;
            const std::uint64_t start = pos + 8;
            const std::uint64_t present = fileSize > start ? fileSize - start : 0;
            // Streams written without knowing their length leave the size at its maximum.
            const std::uint64_t dataBytes = std::min<std::uint64_t>(size, present);
            return static_cast<double>(dataBytes) / static_cast<double>(byteRate);
        }
        pos += 8 + size + (size & 1);
    }
    return 0;
}

// The most samples one byte of a file can carry, per format: a count past what the file's bytes
// can hold is damage or a forgery, and its duration is 0. The bounds are the formats' own hard
// limits, so no real file is refused: an Opus packet takes at least one byte of the file (its
// lacing value) and lasts at most 120 ms (5,760 samples at 48 kHz); a Vorbis packet takes at least its lacing byte and
// completes at most half of the largest block (8,192 samples); a FLAC frame holds at most 65,535
// samples. Ogg page headers and FLAC frame headers only make real files larger.
constexpr std::uint64_t kOpusSamplesPerByte = 5760;
constexpr std::uint64_t kVorbisSamplesPerByte = 4096;
constexpr std::uint64_t kFlacSamplesPerByte = 65535;

bool FitsInFile(std::uint64_t samples, std::uint64_t samplesPerByte, std::uint64_t fileSize)
{
    std::uint64_t most = 0;
    // A product past 64 bits bounds nothing that a count read from a file could exceed.
    if (__builtin_mul_overflow(fileSize, samplesPerByte, &most)) return true;
    return samples <= most;
}

// Sample rate and sample count of a STREAMINFO block's data.
double StreamInfo(const Bytes& b, std::size_t pos, std::uint64_t fileSize)
{
    if (!b.Has(pos, 18)) return 0;
    const std::uint32_t rate =
        (std::uint32_t{b.U8(pos + 10)} << 12) | (std::uint32_t{b.U8(pos + 11)} << 4) | (b.U8(pos + 12) >> 4);
    const std::uint64_t samples = (std::uint64_t{b.U8(pos + 13) & 0x0Fu} << 32) | *b.U32Be(pos + 14);
    if (rate == 0 || !FitsInFile(samples, kFlacSamplesPerByte, fileSize)) return 0;
    return static_cast<double>(samples) / rate;
}

double Flac(const Bytes& b, std::size_t start, std::uint64_t fileSize)
{
    // "fLaC", then the first metadata block, which is always STREAMINFO.
    if (!b.Has(start + 4, 4) || (b.U8(start + 4) & 0x7F) != 0) return 0;
    return StreamInfo(b, start + 8, fileSize);
}

// The granule position of the last complete page header of stream `serial` in the tail.
std::optional<std::int64_t> LastGranule(const Bytes& tail, std::uint32_t serial)
{
    for (std::size_t pos = tail.Size() >= 27 ? tail.Size() - 27 : 0;; --pos) {
        if (tail.Matches(pos, "OggS") && tail.U8(pos + 4) == 0 && tail.UnsignedLe(pos + 14, 4) == serial) {
            const auto granule = static_cast<std::int64_t>(*tail.UnsignedLe(pos + 6, 8));
            if (granule >= 0) return granule;
        }
        if (pos == 0) return std::nullopt;
    }
}

double Ogg(const Bytes& head, const Bytes& tail, std::uint64_t fileSize)
{
    if (!head.Has(0, 27) || head.U8(4) != 0) return 0;
    const std::uint32_t serial = static_cast<std::uint32_t>(*head.UnsignedLe(14, 4));
    const std::size_t segments = head.U8(26);
    const std::size_t packet = 27 + segments;
    double rate = 0;
    std::int64_t preSkip = 0;
    std::uint64_t samplesPerByte = 0;
    if (head.Matches(packet, "\x01vorbis")) {
        rate = static_cast<double>(head.UnsignedLe(packet + 12, 4).value_or(0));
        samplesPerByte = kVorbisSamplesPerByte;
    } else if (head.Matches(packet, "OpusHead")) {
        rate = 48000;  // Opus granules always count at 48 kHz
        samplesPerByte = kOpusSamplesPerByte;
        preSkip = static_cast<std::int64_t>(head.UnsignedLe(packet + 10, 2).value_or(0));
    } else if (head.Matches(packet,
                            "\x7F"
                            "FLAC") &&
               head.Matches(packet + 9, "fLaC")) {
        const Bytes& b = head;
        const std::size_t info = packet + 17;
        if (!b.Has(info, 18)) return 0;
        rate = static_cast<double>((std::uint32_t{b.U8(info + 10)} << 12) |
                                   (std::uint32_t{b.U8(info + 11)} << 4) | (b.U8(info + 12) >> 4));
        samplesPerByte = kFlacSamplesPerByte;
    }
    if (rate <= 0) return 0;
    const auto granule = LastGranule(tail, serial);
    if (!granule || *granule <= preSkip) return 0;
    if (!FitsInFile(static_cast<std::uint64_t>(*granule - preSkip), samplesPerByte, fileSize)) return 0;
    return static_cast<double>(*granule - preSkip) / rate;
}

struct MpegFrame {
    int version;  // 1, 2 or 25 (2.5)
    int layer;    // 1, 2, 3
    int bitrateKbps;
    int sampleRate;
    bool mono;
    std::size_t length;  // bytes of the whole frame
    int samples;         // per frame
};

std::optional<MpegFrame> ParseMpegHeader(std::uint32_t h)
{
    if ((h & 0xFFE00000u) != 0xFFE00000u) return std::nullopt;
    const int versionBits = (h >> 19) & 3, layerBits = (h >> 17) & 3, bitrateIndex = (h >> 12) & 15,
              rateIndex = (h >> 10) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    static constexpr int kRates[3] = {44100, 48000, 32000};
    static constexpr std::array<std::array<int, 15>, 5> kBitrates = {{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG 1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG 1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG 1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG 2/2.5 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG 2/2.5 layers II, III
    }};
    MpegFrame f{};
    f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    f.layer = 4 - layerBits;
    const int table = f.version == 1 ? f.layer - 1 : (f.layer == 1 ? 3 : 4);
    f.bitrateKbps = kBitrates[static_cast<std::size_t>(table)][static_cast<std::size_t>(bitrateIndex)];
    f.sampleRate = kRates[rateIndex] / (f.version == 1 ? 1 : f.version == 2 ? 2 : 4);
    f.mono = ((h >> 6) & 3) == 3;
    const int padding = (h >> 9) & 1;
    const long bitsPerSecond = f.bitrateKbps * 1000L;
    if (f.layer == 1) {
        f.samples = 384;
        f.length = static_cast<std::size_t>((12 * bitsPerSecond / f.sampleRate + padding) * 4);
    } else {
        f.samples = (f.layer == 3 && f.version != 1) ? 576 : 1152;
        f.length = static_cast<std::size_t>(f.samples / 8 * bitsPerSecond / f.sampleRate + padding);
    }
    return f;
}

// `head` holds the file's bytes from `headOffset` on; the first frame is looked for from
// `tagSize` (the ID3v2 tag's end) on.
double Mp3(const Bytes& head, std::uint64_t headOffset, const Bytes& tail, std::uint64_t fileSize,
           std::size_t tagSize)
{
    if (tagSize < headOffset) return 0;
    // Without a tag the first frame must open the file; after a tag, padding may follow it.
    const std::size_t searchStart = tagSize - headOffset;
    const std::size_t searchEnd = searchStart + (tagSize ? 4096 : 1);
    std::optional<MpegFrame> frame;
    std::size_t pos = searchStart;
    for (; pos < searchEnd && head.Has(pos, 4); ++pos) {
        frame = ParseMpegHeader(*head.U32Be(pos));
        if (!frame) continue;
        // A second frame where the first one ends makes a chance match unlikely.
        const auto next = head.U32Be(pos + frame->length);
        if (!next || ParseMpegHeader(*next)) break;
        frame.reset();
    }
    if (!frame) return 0;

    const std::size_t sideInfo = frame->version == 1 ? (frame->mono ? 17 : 32) : (frame->mono ? 9 : 17);
    const std::size_t xing = pos + 4 + sideInfo;
    std::optional<std::uint32_t> frames;
    if (head.Matches(xing, "Xing") || head.Matches(xing, "Info")) {
        if (head.U32Be(xing + 4).value_or(0) & 1) frames = head.U32Be(xing + 8);
    } else if (head.Matches(pos + 36, "VBRI")) {
        frames = head.U32Be(pos + 36 + 14);
    }
    if (frames && *frames > 0) return static_cast<double>(*frames) * frame->samples / frame->sampleRate;

    // Constant bit rate: the audio bytes over the rate, without an ID3v1 tag at the end.
    const std::uint64_t start = headOffset + pos;
    std::uint64_t audio = fileSize > start ? fileSize - start : 0;
    if (tail.Size() >= 128 && tail.Matches(tail.Size() - 128, "TAG") && audio >= 128) audio -= 128;
    return static_cast<double>(audio) * 8.0 / (frame->bitrateKbps * 1000.0);
}

}  // namespace

double MediaDurationOf(const QByteArray& headBytes, const QByteArray& tailBytes, std::uint64_t fileSize)
{
    const Bytes head(headBytes), tail(tailBytes);
    if (head.Matches(0, "RIFF") && head.Matches(8, "WAVE")) return Wav(head, fileSize);
    if (head.Matches(0, "OggS")) return Ogg(head, tail, fileSize);
    const std::size_t tag = Id3v2Size(head);
    if (head.Matches(tag, "fLaC")) return Flac(head, tag, fileSize);
    return Mp3(head, 0, tail, fileSize, tag);
}

double ReadMediaDuration(const QString& localPath)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const qint64 size = file.size();
    const QByteArray headBytes = file.read(kHeadBytes);
    const Bytes head(headBytes);
    const bool ogg = head.Matches(0, "OggS");
    const qint64 tailBytes = std::min(size, ogg ? kOggTailBytes : kId3v1Bytes);
    QByteArray tail;
    if (file.seek(size - tailBytes)) tail = file.read(tailBytes);

    const std::size_t tag = Id3v2Size(head);
    if (tag == 0 || tag + 4096 + 4 <= static_cast<std::size_t>(headBytes.size()))
        return MediaDurationOf(headBytes, tail, static_cast<std::uint64_t>(size));
    // A tag longer than the head: FLAC or MPEG frames follow it.
    if (!file.seek(static_cast<qint64>(tag))) return 0;
    const QByteArray framesBytes = file.read(kFramesBytes);
    const Bytes frames(framesBytes);
    if (frames.Matches(0, "fLaC")) return Flac(frames, 0, static_cast<std::uint64_t>(size));
    return Mp3(frames, tag, Bytes(tail), static_cast<std::uint64_t>(size), tag);
}
