#include "stores/sticky_notes/compound_file.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <QSet>
#include <mutex>

#include "common/errors.h"

namespace {

constexpr int kMaxNameUnits = 31;

void EnsureLibraryReady()
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// Owns one reference to a library output. One given back still open is closed first: an open
// storage and its children hold references to each other, so an output dropped open on a failed
// write would never be freed.
template <class T>
class OutputRef {
public:
    explicit OutputRef(T* output = nullptr) : output_(output) {}
    ~OutputRef()
    {
        if (!output_) return;
        if (!gsf_output_is_closed(GSF_OUTPUT(output_))) gsf_output_close(GSF_OUTPUT(output_));
        g_object_unref(output_);
    }
    OutputRef(const OutputRef&) = delete;
    OutputRef& operator=(const OutputRef&) = delete;
    T* get() const { return output_; }
    explicit operator bool() const { return output_ != nullptr; }

private:
    T* output_;
};

void RequireWritableName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxNameUnits)
        throw AgentError("compound file: entry name \"" + name.toStdString() +
                         "\" must have 1 to 31 characters");
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c == u'!' || c.unicode() == 0)
            throw AgentError("compound file: entry name \"" + name.toStdString() +
                             "\" holds a character the format does not allow");
}

// Every name is checked before the library is handed anything, so a tree it cannot hold is
// refused before a single output exists.
void RequireWritableTree(const CompoundEntry& storage)
{
    QSet<QString> seen;
    for (const CompoundEntry& entry : storage.children) {
        RequireWritableName(entry.name);
        const QString key = EntryNameKey(entry.name);
        if (seen.contains(key))
            throw AgentError("compound file: two entries named \"" + entry.name.toStdString() + "\"");
        seen.insert(key);
        if (entry.isStorage) RequireWritableTree(entry);
    }
}

void WriteChildren(GsfOutfile* storage, const CompoundEntry& from)
{
    for (const CompoundEntry& entry : from.children) {
        const QByteArray name = entry.name.toUtf8();
        OutputRef<GsfOutput> child(gsf_outfile_new_child(storage, name.constData(), entry.isStorage));
        if (!child) throw AgentError("compound file: entry \"" + entry.name.toStdString() + "\" cannot be created");
        if (entry.isStorage) {
            WriteChildren(GSF_OUTFILE(child.get()), entry);
        } else if (!entry.data.isEmpty() &&
                   !gsf_output_write(child.get(), static_cast<std::size_t>(entry.data.size()),
                                     reinterpret_cast<const guint8*>(entry.data.constData()))) {
            throw AgentError("compound file: stream \"" + entry.name.toStdString() + "\" cannot be written");
        }
        if (!gsf_output_close(child.get()))
            throw AgentError("compound file: entry \"" + entry.name.toStdString() + "\" cannot be closed");
    }
}

}  // namespace

CompoundEntry CompoundEntry::Stream(const QString& name, const QByteArray& data)
{
    CompoundEntry entry;
    entry.name = name;
    entry.data = data;
    return entry;
}

CompoundEntry CompoundEntry::Storage(const QString& name, std::vector<CompoundEntry> children)
{
    CompoundEntry entry;
    entry.name = name;
    entry.isStorage = true;
    entry.children = std::move(children);
    return entry;
}

const CompoundEntry* CompoundEntry::Child(const QString& childName) const
{
    for (const CompoundEntry& child : children)
        if (SameEntryName(child.name, childName)) return &child;
    return nullptr;
}

bool SameEntryName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString EntryNameKey(const QString& name)
{
    return name.toCaseFolded();
}

QByteArray WriteCompoundFile(const CompoundEntry& root)
{
    RequireWritableTree(root);
    EnsureLibraryReady();
    OutputRef<GsfOutput> sink(gsf_output_memory_new());
    if (!sink) throw AgentError("compound file: no memory for the new file");
    {
        OutputRef<GsfOutfile> file(gsf_outfile_msole_new(sink.get()));
        if (!file) throw AgentError("compound file: the new file cannot be started");
        WriteChildren(file.get(), root);
        if (!gsf_output_close(GSF_OUTPUT(file.get())))
            throw AgentError("compound file: the new file cannot be completed");
    }
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (size < 0 || (size > 0 && !data)) throw AgentError("compound file: the new file was not produced");
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}
