// Arbitrary bytes as a Sticky Notes file: read, and when they read, written and read again.
// What was read must come back the same: a rewrite may not lose or change a note.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "common/errors.h"
#include "stores/sticky_notes/sticky_notes_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    StickyNotesFile file;
    try {
        file = StickyNotesFile::Parse(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    } catch (const AgentError&) {
        return 0;
    }
    QByteArray written;
    try {
        written = file.Serialize();
    } catch (const AgentError&) {
        return 0;  // names read from the file that the format cannot hold again
    }
    const StickyNotesFile back = StickyNotesFile::Parse(written);
    if (back.notes.size() != file.notes.size()) std::abort();
    for (std::size_t i = 0; i < file.notes.size(); ++i)
        if (back.notes[i].rtf != file.notes[i].rtf || back.notes[i].id != file.notes[i].id ||
            back.notes[i].plainText != file.notes[i].plainText || back.notes[i].metadata != file.notes[i].metadata)
            std::abort();
    return 0;
}
