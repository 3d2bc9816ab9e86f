#include "stores/sticky_notes/compound_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <QSet>
#include <mutex>

#include "common/errors.h"

namespace {

constexpr qsizetype kSectorSize = 512;
constexpr int kMaxNameUnits = 31;
// Storages nest only a level or two in the files this reads; the bound keeps a damaged
// directory from recursing without end.
constexpr int kMaxDepth = 32;

void EnsureLibraryReady()
{
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// Owns one reference to a GObject.
template <class T>
class GRef {
public:
    explicit GRef(T* object = nullptr) : object_(object) {}
    ~GRef()
    {
        if (object_) g_object_unref(object_);
    }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_;
};

QString TakeErrorText(GError* error)
{
    if (!error) return QStringLiteral("unknown error");
    const QString text = QString::fromUtf8(error->message);
    g_error_free(error);
    return text;
}

void ReadChildren(GsfInfile* storage, CompoundEntry& into, qsizetype fileSize, int depth)
{
    if (depth > kMaxDepth) throw MalformedData("compound file: storages nested too deeply");
    const int count = gsf_infile_num_children(storage);
    into.children.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        // The library walks a storage's list of children to reach the i-th, so each look-up by
        // index costs as much as the entries before it: the name comes from the child once it is
        // open rather than from a second walk.
        GRef<GsfInput> child(gsf_infile_child_by_index(storage, i));
        const char* name = child ? gsf_input_name(child.get()) : nullptr;
        if (!child || !name)
            throw MalformedData("compound file: entry " + std::to_string(i) + " cannot be opened");
        CompoundEntry entry;
        entry.name = QString::fromUtf8(name);
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            entry.isStorage = true;
            ReadChildren(GSF_INFILE(child.get()), entry, fileSize, depth + 1);
        } else {
            const gsf_off_t size = gsf_input_size(child.get());
            // A stream cannot hold more than the file; a larger size is a damaged directory,
            // and must not size an allocation.
            if (size < 0 || size > fileSize)
                throw MalformedData("compound file: stream \"" + entry.name.toStdString() +
                                    "\" claims more bytes than the file holds");
            entry.data.resize(static_cast<qsizetype>(size));
            if (size > 0 &&
                !gsf_input_read(child.get(), static_cast<std::size_t>(size),
                                reinterpret_cast<guint8*>(entry.data.data())))
                throw MalformedData("compound file: stream \"" + entry.name.toStdString() +
                                    "\" cannot be read");
        }
        into.children.push_back(std::move(entry));
    }
}

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

void WriteChildren(GsfOutfile* storage, const CompoundEntry& from)
{
    QSet<QString> seen;
    for (const CompoundEntry& entry : from.children) {
        RequireWritableName(entry.name);
        const QString key = EntryNameKey(entry.name);
        if (seen.contains(key))
            throw AgentError("compound file: two entries named \"" + entry.name.toStdString() + "\"");
        seen.insert(key);
        const QByteArray name = entry.name.toUtf8();
        GRef<GsfOutput> child(gsf_outfile_new_child(storage, name.constData(), entry.isStorage));
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

CompoundEntry ReadCompoundFile(const QByteArray& bytes)
{
    EnsureLibraryReady();
    // The library refuses a file whose last sector is cut short; the missing bytes of such a
    // sector are unused space, so zeros stand in for them.
    QByteArray padded = bytes;
    if (const qsizetype rest = padded.size() % kSectorSize; rest != 0)
        padded.append(kSectorSize - rest, '\0');

    GRef<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(padded.constData()),
                                              padded.size(), FALSE));
    if (!input) throw MalformedData("compound file: the bytes cannot be opened");
    GError* error = nullptr;
    GRef<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
    if (!root) throw MalformedData("not a compound file (" + TakeErrorText(error).toStdString() + ")");
    if (error) g_error_free(error);

    CompoundEntry entry;
    entry.isStorage = true;
    entry.name = QStringLiteral("Root Entry");
    ReadChildren(root.get(), entry, padded.size(), 0);
    return entry;
}

QByteArray WriteCompoundFile(const CompoundEntry& root)
{
    EnsureLibraryReady();
    GRef<GsfOutput> sink(gsf_output_memory_new());
    if (!sink) throw AgentError("compound file: no memory for the new file");
    {
        GRef<GsfOutfile> file(gsf_outfile_msole_new(sink.get()));
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
