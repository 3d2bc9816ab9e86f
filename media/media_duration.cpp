#include "media/media_duration.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "common/errors.h"
#include "platform/regular_file_read.h"

namespace {

// What is read of a file: its start, the frames after its ID3v2 tags (pictures make them
// hundreds of KiB), and for Ogg its end, where the last granule position is.
constexpr std::size_t kHeadBytes = 16 * 1024;
// The last complete page of a stream ends where a cut-off one starts: two of the largest pages
// (27 header bytes, 255 lacing values, 255 x 255 body bytes) always hold a complete one.
constexpr std::size_t kOggTailBytes = 2 * (27 + 255 + 255 * 255);
constexpr std::size_t kId3v1Bytes = 128;
// Taggers write a second tag after the first, rarely more; dozens in a row are damage, and each
// costs a read.
constexpr int kMaxId3v2Tags = 64;
// Encoders and editors leave a few bytes (zeros, a broken frame) before the first MPEG frame.
constexpr std::size_t kMpegSearchBytes = 16 * 1024;
// The longest MPEG audio frame: MPEG 2.5 layer II at 160 kbit/s and 8 kHz, padded. With it and
// the next header the frame that follows every candidate in the search window is read too.
constexpr std::size_t kMaxMpegFrameBytes = 2881;
constexpr std::size_t kMpegReadBytes = kMpegSearchBytes + kMaxMpegFrameBytes + 4;

enum class Endian { Little, Big };

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
    std::optional<std::uint64_t> Unsigned(std::size_t pos, std::size_t width, Endian endian = Endian::Little) const
    {
        if (!Has(pos, width)) return std::nullopt;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i) v = (v << 8) | U8(pos + (endian == Endian::Big ? i : width - 1 - i));
        return v;
    }
    std::optional<std::uint32_t> U32Be(std::size_t pos) const
    {
        const auto v = Unsigned(pos, 4, Endian::Big);
        return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
    }

private:
    const QByteArray& data_;
};

// What of a file the reader sees: its size, bytes from an offset and its last bytes.
class MediaSource {
public:
    virtual ~MediaSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to `count` bytes from `offset`: fewer, or none, where the file or what is known of it ends.
    virtual QByteArray At(std::uint64_t offset, std::size_t count) = 0;
    // The last `count` bytes, or all of a shorter file.
    virtual QByteArray Tail(std::size_t count) = 0;
};

// A file of which only its start and its end are known.
class KnownParts : public MediaSource {
public:
    KnownParts(const QByteArray& head, const QByteArray& tail, std::uint64_t size)
        : head_(head), tail_(tail.right(static_cast<qsizetype>(std::min<std::uint64_t>(
                           static_cast<std::uint64_t>(tail.size()), size)))),
          size_(size)
    {
    }
    std::uint64_t Size() const override { return size_; }
    QByteArray At(std::uint64_t offset, std::size_t count) override
    {
        const auto n = static_cast<qsizetype>(std::min<std::size_t>(count, std::numeric_limits<qsizetype>::max()));
        if (offset < static_cast<std::uint64_t>(head_.size())) return head_.mid(static_cast<qsizetype>(offset), n);
        const std::uint64_t tailStart = size_ - static_cast<std::uint64_t>(tail_.size());
        if (offset >= tailStart) return tail_.mid(static_cast<qsizetype>(offset - tailStart), n);
        return {};
    }
    QByteArray Tail(std::size_t count) override { return tail_.right(static_cast<qsizetype>(count)); }

private:
    const QByteArray& head_;
    QByteArray tail_;
    std::uint64_t size_;
};

class OpenFile : public MediaSource {
public:
    explicit OpenFile(RegularFileForReading& file)
        : file_(file), size_(static_cast<std::uint64_t>(std::max<off_t>(file.Status().st_size, 0)))
    {
    }
    std::uint64_t Size() const override { return size_; }
    QByteArray At(std::uint64_t offset, std::size_t count) override
    {
        if (offset >= size_) return {};
        QByteArray bytes(static_cast<qsizetype>(std::min<std::uint64_t>(count, size_ - offset)), Qt::Uninitialized);
        // A file cut short since it was opened reads short, never past what is there.
        qint64 got = 0;
        while (got < bytes.size()) {
            const qint64 n = file_.ReadAt(static_cast<qint64>(offset) + got, bytes.data() + got, bytes.size() - got);
            if (n <= 0) break;
            got += n;
        }
        bytes.truncate(static_cast<qsizetype>(got));
        return bytes;
    }
    QByteArray Tail(std::size_t count) override
    {
        const std::uint64_t n = std::min<std::uint64_t>(count, size_);
        return At(size_ - n, static_cast<std::size_t>(n));
    }

private:
    RegularFileForReading& file_;
    std::uint64_t size_;
};

// The size of the ID3v2 tag that opens `b`, header and footer included; 0 when none does.
std::uint64_t Id3v2Size(const Bytes& b)
{
    // "ID3", a version and a revision that are never 0xFF, flags, then a sync-safe size.
    if (!b.Matches(0, "ID3") || !b.Has(0, 10) || b.U8(3) == 0xFF || b.U8(4) == 0xFF) return 0;
    std::uint64_t size = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (b.U8(i) & 0x80) return 0;
        size = (size << 7) | b.U8(i);
    }
    const bool footer = b.U8(5) & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

// Where the audio starts: after every ID3v2 tag in a row at the start. None when a tag runs past
// the end of the file or too many follow one another.
std::optional<std::uint64_t> AfterId3v2Tags(MediaSource& source, const QByteArray& head)
{
    std::uint64_t pos = 0;
    for (int tags = 0;; ++tags) {
        const QByteArray header = pos + 10 <= static_cast<std::uint64_t>(head.size())
                                      ? head.mid(static_cast<qsizetype>(pos), 10)
                                      : source.At(pos, 10);
        const std::uint64_t size = Id3v2Size(Bytes(header));
        if (size == 0) return pos;
        if (tags == kMaxId3v2Tags || size > source.Size() - pos) return std::nullopt;
        pos += size;
    }
}

// WAVE in RIFF (little-endian), RIFX (big-endian) or RF64 (sizes past 4 GiB in a "ds64" chunk).
double Wav(const Bytes& b, std::uint64_t fileSize)
{
    const Endian endian = b.Matches(0, "RIFX") ? Endian::Big : Endian::Little;
    const bool rf64 = b.Matches(0, "RF64");
    std::uint64_t byteRate = 0;
    std::optional<std::uint64_t> longDataSize;
    for (std::size_t pos = 12; b.Has(pos, 8);) {
        const std::uint64_t size = *b.Unsigned(pos + 4, 4, endian);
        if (b.Matches(pos, "fmt ") && size >= 12) {
            byteRate = b.Unsigned(pos + 16, 4, endian).value_or(0);
        } else if (rf64 && b.Matches(pos, "ds64") && size >= 16) {
            longDataSize = b.Unsigned(pos + 16, 8);  // after the RIFF size, as 64 bits
        } else if (b.Matches(pos, "data")) {
            if (byteRate == 0) return 0;
            // RF64 leaves the 32-bit size at its maximum and gives the real one in "ds64".
            const std::uint64_t declared = size == 0xFFFFFFFF && longDataSize ? *longDataSize : size;
            const std::uint64_t start = pos + 8;
            const std::uint64_t present = fileSize > start ? fileSize - start : 0;
            // Streams written without knowing their length leave the size at its maximum.
            const std::uint64_t dataBytes = std::min(declared, present);
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
// completes at most half of the largest block (8,192 samples); a Speex frame takes at least a bit
// and holds at most 640 samples (ultra-wideband, 20 ms at 32 kHz); a FLAC frame holds at most
// 65,535 samples. Ogg page headers and FLAC frame headers only make real files larger.
constexpr std::uint64_t kOpusSamplesPerByte = 5760;
constexpr std::uint64_t kVorbisSamplesPerByte = 4096;
constexpr std::uint64_t kSpeexSamplesPerByte = 8 * 640;
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

double Flac(const Bytes& b, std::uint64_t fileSize)
{
    // "fLaC", then the first metadata block, which is always STREAMINFO.
    if (!b.Has(4, 4) || (b.U8(4) & 0x7F) != 0) return 0;
    return StreamInfo(b, 8, fileSize);
}

// The granule position of the last page of stream `serial` that the tail holds whole: its
// header, lacing table and body. A page cut off by the end of the file counts samples that are
// not there.
std::optional<std::int64_t> LastGranule(const Bytes& tail, std::uint32_t serial)
{
    for (std::size_t pos = tail.Size() >= 27 ? tail.Size() - 27 : 0;; --pos) {
        if (tail.Matches(pos, "OggS") && tail.U8(pos + 4) == 0 && tail.Unsigned(pos + 14, 4) == serial) {
            const std::size_t segments = tail.U8(pos + 26);
            std::size_t body = 0;
            if (tail.Has(pos + 27, segments))
                for (std::size_t i = 0; i < segments; ++i) body += tail.U8(pos + 27 + i);
            const auto granule = static_cast<std::int64_t>(*tail.Unsigned(pos + 6, 8));
            if (tail.Has(pos + 27, segments + body) && granule >= 0) return granule;
        }
        if (pos == 0) return std::nullopt;
    }
}

double Ogg(const Bytes& head, const Bytes& tail, std::uint64_t fileSize)
{
    if (!head.Has(0, 27) || head.U8(4) != 0) return 0;
    const std::uint32_t serial = static_cast<std::uint32_t>(*head.Unsigned(14, 4));
    const std::size_t segments = head.U8(26);
    const std::size_t packet = 27 + segments;
    double rate = 0;
    std::int64_t preSkip = 0;
    std::uint64_t samplesPerByte = 0;
    if (head.Matches(packet, "\x01vorbis")) {
        rate = static_cast<double>(head.Unsigned(packet + 12, 4).value_or(0));
        samplesPerByte = kVorbisSamplesPerByte;
    } else if (head.Matches(packet, "OpusHead")) {
        rate = 48000;  // Opus granules always count at 48 kHz
        samplesPerByte = kOpusSamplesPerByte;
        preSkip = static_cast<std::int64_t>(head.Unsigned(packet + 10, 2).value_or(0));
    } else if (head.Matches(packet, "Speex   ")) {
        rate = static_cast<double>(head.Unsigned(packet + 36, 4).value_or(0));
        samplesPerByte = kSpeexSamplesPerByte;
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

// The first frame of the window that another frame of the same stream follows: a lone header
// is too often a chance match in a picture or in padding.
std::optional<std::pair<std::size_t, MpegFrame>> FirstMpegFrames(const Bytes& audio)
{
    for (std::size_t pos = 0; pos < kMpegSearchBytes && audio.Has(pos, 4); ++pos) {
        const auto frame = ParseMpegHeader(*audio.U32Be(pos));
        if (!frame) continue;
        const auto nextHeader = audio.U32Be(pos + frame->length);
        const auto next = nextHeader ? ParseMpegHeader(*nextHeader) : std::nullopt;
        if (next && next->version == frame->version && next->layer == frame->layer &&
            next->sampleRate == frame->sampleRate)
            return std::pair{pos, *frame};
    }
    return std::nullopt;
}

// `audio` holds the file's bytes from `audioStart` (the end of its ID3v2 tags) on.
double Mp3(const Bytes& audio, std::uint64_t audioStart, const Bytes& tail, std::uint64_t fileSize)
{
    const auto found = FirstMpegFrames(audio);
    if (!found) return 0;
    const auto& [pos, frame] = *found;

    const std::size_t sideInfo = frame.version == 1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
    const std::size_t xing = pos + 4 + sideInfo;
    std::optional<std::uint32_t> frames;
    if (audio.Matches(xing, "Xing") || audio.Matches(xing, "Info")) {
        if (audio.U32Be(xing + 4).value_or(0) & 1) frames = audio.U32Be(xing + 8);
    } else if (audio.Matches(pos + 36, "VBRI")) {
        frames = audio.U32Be(pos + 36 + 14);
    }
    if (frames && *frames > 0) return static_cast<double>(*frames) * frame.samples / frame.sampleRate;

    // Constant bit rate: the audio bytes over the rate, without an ID3v1 tag at the end.
    const std::uint64_t start = audioStart + pos;
    std::uint64_t bytes = fileSize > start ? fileSize - start : 0;
    if (tail.Size() >= 128 && tail.Matches(tail.Size() - 128, "TAG") && bytes >= 128) bytes -= 128;
    return static_cast<double>(bytes) * 8.0 / (frame.bitrateKbps * 1000.0);
}

double DurationOf(MediaSource& source)
{
    const QByteArray headBytes = source.At(0, kHeadBytes);
    const Bytes head(headBytes);
    const std::uint64_t size = source.Size();
    if ((head.Matches(0, "RIFF") || head.Matches(0, "RIFX") || head.Matches(0, "RF64")) && head.Matches(8, "WAVE"))
        return Wav(head, size);
    if (head.Matches(0, "OggS")) {
        const QByteArray tail = source.Tail(kOggTailBytes);
        return Ogg(head, Bytes(tail), size);
    }
    const auto audioStart = AfterId3v2Tags(source, headBytes);
    if (!audioStart) return 0;
    const QByteArray audioBytes = source.At(*audioStart, kMpegReadBytes);
    const Bytes audio(audioBytes);
    if (audio.Matches(0, "fLaC")) return Flac(audio, size);
    const QByteArray tail = source.Tail(kId3v1Bytes);
    return Mp3(audio, *audioStart, Bytes(tail), size);
}

}  // namespace

double MediaDurationOf(const QByteArray& head, const QByteArray& tail, std::uint64_t fileSize)
{
    KnownParts source(head, tail, fileSize);
    return DurationOf(source);
}

double ReadMediaDuration(const QString& localPath)
{
    // Only a regular file: a FIFO or device put in the track's place since the library looked at
    // it must not hold the agent. Whatever cannot be read has no duration the agent knows.
    try {
        std::optional<RegularFileForReading> file = RegularFileForReading::Open(localPath);
        if (!file) return 0;
        OpenFile source(*file);
        return DurationOf(source);
    } catch (const AgentError&) {
        return 0;
    }
}
