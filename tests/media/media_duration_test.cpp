#include "media/media_duration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "common/byte_io.h"

namespace {

enum class WavForm { Riff, Rifx, Rf64 };

QByteArray WavHeader(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, std::uint64_t dataBytes,
                     WavForm form = WavForm::Riff)
{
    QByteArray out;
    const auto put = [&](std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i)
            out.append(static_cast<char>(value >> (8 * (form == WavForm::Rifx ? width - 1 - i : i))));
    };
    const auto chunk = [&](const char* id, std::uint64_t size) {
        out.append(id, 4);
        put(std::min<std::uint64_t>(size, 0xFFFFFFFF), 4);
    };
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    const std::uint64_t riffBytes = 4 + 24 + 12 + 8 + dataBytes;
    chunk(form == WavForm::Rifx ? "RIFX" : form == WavForm::Rf64 ? "RF64" : "RIFF", riffBytes);
    out.append("WAVE");
    if (form == WavForm::Rf64) {
        // The sizes past 4 GiB; the 32-bit ones stay at their maximum.
        chunk("ds64", 28);
        put(riffBytes + 36, 8);
        put(dataBytes, 8);
        put(dataBytes / blockAlign, 8);
        put(0, 4);
    }
    chunk("fmt ", 16);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * blockAlign, 4);
    put(blockAlign, 2);
    put(bits, 2);
    // A chunk of odd size before the data, padded to even as the format wants.
    chunk("LIST", 3);
    out.append("abc\0", 4);
    chunk("data", form == WavForm::Rf64 ? 0xFFFFFFFF : dataBytes);
    return out;
}

QByteArray FlacHeader(std::uint32_t rate, std::uint64_t samples)
{
    QByteArray info(34, '\0');
    info[10] = static_cast<char>(rate >> 12);
    info[11] = static_cast<char>(rate >> 4);
    info[12] = static_cast<char>(((rate & 0xF) << 4) | (1 << 1));       // two channels
    info[13] = static_cast<char>((15 << 4) | ((samples >> 32) & 0xF));  // 16 bits per sample
    for (int i = 0; i < 4; ++i) info[14 + i] = static_cast<char>(samples >> (24 - 8 * i));
    return QByteArray("fLaC") + QByteArray("\x80\x00\x00\x22", 4) + info;
}

// One page of stream 0x1234 holding one packet (laced in as many segments as it takes).
QByteArray OggPage(std::int64_t granule, const QByteArray& packet)
{
    QByteArray out;
    ByteWriter w(out);
    w.Bytes(QByteArray("OggS"));
    w.U8(0);
    w.U8(packet.isEmpty() ? 4 : 2);
    w.I64(granule);
    w.U32(0x1234);  // serial
    w.U32(0);
    w.U32(0);
    w.U8(static_cast<std::uint8_t>(packet.size() / 255 + 1));
    for (qsizetype i = 0; i < packet.size() / 255; ++i) w.U8(255);
    w.U8(static_cast<std::uint8_t>(packet.size() % 255));
    w.Bytes(packet);
    return out;
}

QByteArray VorbisId(std::uint32_t rate)
{
    QByteArray p("\x01vorbis");
    ByteWriter w(p);
    w.U32(0);
    w.U8(2);
    w.U32(rate);
    w.Zeros(14);
    return p;
}

QByteArray OpusHead(std::uint16_t preSkip)
{
    QByteArray p("OpusHead");
    ByteWriter w(p);
    w.U8(1);
    w.U8(2);
    w.U16(preSkip);
    w.U32(44100);
    w.Zeros(3);
    return p;
}

QByteArray SpeexHeader(std::uint32_t rate)
{
    QByteArray p("Speex   ");
    p.append(QByteArray("speex-1.2.1").leftJustified(20, '\0'));
    ByteWriter w(p);
    w.U32(1);   // version id
    w.U32(80);  // header size
    w.U32(rate);
    w.U32(1);  // wideband
    w.U32(4);
    w.U32(1);  // channels
    w.U32(0xFFFFFFFF);
    w.U32(320);  // samples per frame
    w.U32(0);
    w.U32(1);  // frames per packet
    w.Zeros(12);
    return p;
}

// MPEG 1 layer III, 128 kbit/s, 44.1 kHz, stereo: 417 bytes per frame of 1152 samples.
QByteArray Mp3Frames(int count, std::optional<std::uint32_t> xingFrames = std::nullopt)
{
    QByteArray frame("\xFF\xFB\x90\x00", 4);
    frame.append(417 - 4, '\0');
    QByteArray out;
    for (int i = 0; i < count; ++i) out += frame;
    if (xingFrames) {
        QByteArray xing("Xing\x00\x00\x00\x01", 8);
        for (int i = 0; i < 4; ++i) xing.append(static_cast<char>(*xingFrames >> (24 - 8 * i)));
        out.replace(36, xing.size(), xing);
    }
    return out;
}

QByteArray Id3v2Tag(std::uint32_t bodyBytes)
{
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift : {21, 14, 7, 0}) tag.append(static_cast<char>((bodyBytes >> shift) & 0x7F));
    tag.append(static_cast<qsizetype>(bodyBytes), '\0');
    return tag;
}

TEST(MediaDurationTest, ReadsTheHeadersOfCommonFormats)
{
    struct Case {
        const char* what;
        QByteArray head;
        QByteArray tail;
        std::uint64_t size;
        double seconds;
    };
    const QByteArray wav = WavHeader(44100, 2, 16, 441000 * 4);
    const QByteArray mp3 = Mp3Frames(3);
    const double mp3Seconds = 417 * 1000 * 8 / 128000.0;
    const QByteArray openWav = WavHeader(8000, 1, 8, 0xFFFFFFFF);
    // Six hours at 48 kHz, 16 bits, stereo: past what a 32-bit size can say.
    const std::uint64_t longData = 192000ULL * 6 * 3600;
    const QByteArray rf64 = WavHeader(48000, 2, 16, longData, WavForm::Rf64);
    const QByteArray rifx = WavHeader(22050, 2, 16, 88200 * 7, WavForm::Rifx);
    const QByteArray lastPage = OggPage(48000 * 4, QByteArray(600, 'a'));
    const Case cases[] = {
        {"wav", wav, {}, static_cast<std::uint64_t>(wav.size()) + 441000 * 4, 10.0},
        // A stream written without its length: the file's size counts.
        {"wav, open length", openWav, {}, static_cast<std::uint64_t>(openWav.size()) + 16000, 2.0},
        {"flac", FlacHeader(48000, 48000 * 90), {}, 1000, 90.0},
        {"flac after a tag", Id3v2Tag(100) + FlacHeader(44100, 441000), {}, 1000, 10.0},
        {"vorbis", OggPage(0, VorbisId(48000)), OggPage(48000 * 3 + 24000, {}), 100000, 3.5},
        {"opus", OggPage(0, OpusHead(312)), OggPage(48000 * 7 + 312, {}), 100000, 7.0},
        {"mp3, constant rate", mp3, {}, 417 * 1000, 417 * 1000 * 8 / 128000.0},
        {"mp3, ID3v1 at the end", Id3v2Tag(50) + mp3, QByteArray("TAG") + QByteArray(125, ' '),
         60 + 417 * 1000 + 128, 417 * 1000 * 8 / 128000.0},
        {"mp3, Xing frame count", Mp3Frames(3, 2000), {}, 417 * 3, 2000 * 1152 / 44100.0},
        // A second tag another tagger wrote after the first; an encoder's zero bytes before the
        // first frame, with a tag or without.
        {"mp3 after two tags", Id3v2Tag(100) + Id3v2Tag(20000) + mp3, {}, 20120 + 417 * 1000, mp3Seconds},
        {"mp3 after zero bytes", QByteArray(5, '\0') + mp3, {}, 5 + 417 * 1000, mp3Seconds},
        {"mp3 after a tag and zero bytes", Id3v2Tag(50) + QByteArray(5000, '\0') + mp3, {}, 5060 + 417 * 1000,
         mp3Seconds},
        // A lone header is a chance match; a tag that runs past the file's end leaves no audio.
        {"one frame header", QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(2000, '\0'), {}, 2004, 0.0},
        {"second tag past the end", Id3v2Tag(100) + Id3v2Tag(100000).left(10) + mp3, {},
         static_cast<std::uint64_t>(120 + mp3.size()), 0.0},
        {"speex", OggPage(0, SpeexHeader(16000)), OggPage(16000 * 5, {}), 100000, 5.0},
        // A file cut short: the granule of its last page counts samples that are not there.
        {"vorbis, last page's body cut", OggPage(0, VorbisId(48000)), OggPage(48000 * 3, {}) + lastPage.left(100),
         100000, 3.0},
        {"vorbis, last page's lacing cut", OggPage(0, VorbisId(48000)), OggPage(48000 * 3, {}) + lastPage.left(28),
         100000, 3.0},
        {"rf64", rf64, {}, static_cast<std::uint64_t>(rf64.size()) + longData, 6 * 3600.0},
        {"rf64 cut short", rf64, {}, static_cast<std::uint64_t>(rf64.size()) + 192000 * 10, 10.0},
        {"rifx", rifx, {}, static_cast<std::uint64_t>(rifx.size()) + 88200 * 7, 7.0},
        {"mp4",
         QByteArray("\0\0\0\x20"
                    "ftypisom",
                    12) +
             QByteArray(100, '\0'),
         {},
         5000,
         0.0},
        {"text", QByteArray("hello world"), {}, 11, 0.0},
        {"empty", QByteArray(), {}, 0, 0.0},
        // Cut-off headers never read past what is there.
        {"wav cut", wav.left(30), {}, 30, 0.0},
        {"flac cut", FlacHeader(44100, 441000).left(20), {}, 20, 0.0},
        {"ogg cut", OggPage(0, VorbisId(48000)).left(30), {}, 30, 0.0},
        {"mp3 cut", mp3.left(3), {}, 3, 0.0},
        {"tag only", Id3v2Tag(10000).left(5000), {}, 20000, 0.0},
        // Counts past what the file's bytes can carry (mutated granules, forged sample counts)
        // are no duration; counts just within the format's limits still are.
        {"opus, granule past the data", OggPage(0, OpusHead(312)), OggPage(0x7FFFFFFFFFFFFFFFLL, {}), 100000, 0.0},
        {"opus, 120 ms per byte", OggPage(0, OpusHead(0)), OggPage(5760 * 1000, {}), 1000, 120.0},
        {"opus, past 120 ms per byte", OggPage(0, OpusHead(0)), OggPage(5760 * 1000 + 1, {}), 1000, 0.0},
        {"vorbis, granule past the data", OggPage(0, VorbisId(8000)), OggPage(4096LL * 100000 + 1, {}), 100000, 0.0},
        {"flac, sample count past the data", FlacHeader(1, (1LL << 36) - 1), {}, 1000, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(MediaDurationOf(c.head, c.tail.isEmpty() ? c.head : c.tail, c.size), c.seconds, 1e-6)
            << c.what;
}

TEST(MediaDurationTest, ReadsFilesWithLongTagsAndOggEnds)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    // A picture in the tag puts the first frame far beyond the first few KiB.
    EXPECT_NEAR(ReadMediaDuration(write("tagged.mp3", Id3v2Tag(300000) + Mp3Frames(200))),
                417 * 200 * 8 / 128000.0, 1e-6);
    EXPECT_NEAR(ReadMediaDuration(write("tagged.flac", Id3v2Tag(300000) + FlacHeader(44100, 44100 * 4))), 4.0,
                1e-6);
    // The second tag (a picture again) starts past everything the first read holds.
    EXPECT_NEAR(ReadMediaDuration(write("two tags.mp3", Id3v2Tag(300000) + Id3v2Tag(30000) + Mp3Frames(200))),
                417 * 200 * 8 / 128000.0, 1e-6);
    const QByteArray ogg = OggPage(0, VorbisId(44100)) + QByteArray(200000, 'x') + OggPage(44100 * 12, {});
    EXPECT_NEAR(ReadMediaDuration(write("long.ogg", ogg)), 12.0, 1e-6);
    // Pages near the largest size: the last whole one starts far more than 64 KiB before the end.
    const QByteArray bigPages = OggPage(0, VorbisId(44100)) + QByteArray(200000, 'x') +
                                OggPage(44100 * 12, QByteArray(64000, 'a')) +
                                OggPage(44100 * 13, QByteArray(64000, 'b')).left(60000);
    EXPECT_NEAR(ReadMediaDuration(write("cut.ogg", bigPages)), 12.0, 1e-6);
    EXPECT_EQ(ReadMediaDuration(dir.filePath(QStringLiteral("missing.mp3"))), 0.0);
}

TEST(MediaDurationTest, ATrackThatIsNoRegularFileHasNoDurationAndHoldsNothingUp)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = dir.filePath(QStringLiteral("zero.ogg"));
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(device).constData()), 0);
    EXPECT_EQ(ReadMediaDuration(fifo), 0.0);
    EXPECT_EQ(ReadMediaDuration(device), 0.0);
    EXPECT_EQ(ReadMediaDuration(dir.path()), 0.0);
}

}  // namespace
