#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "common/outlook_store.h"
#include "stores/windows_calendar/calendar_file_cache.h"
#include "stores/windows_calendar/vevent.h"

// Windows Calendar: every calendar is one iCalendar file "<name>.ics" in
// "<local application data>/Microsoft/Windows Calendar/Calendars", every appointment one VEVENT
// block there, its identifier the event's UID (36 characters) followed by twelve "0". The
// calendar's name travels as "Categories". Files are read and written in every request, so
// changes that other programs make between requests are seen at once; rewrites change only the
// event's own lines and keep every other byte, line ends included.
//
// Events served: a VEVENT's own UID line of 36 characters names it. Blocks that share a UID in a
// file (a series and its changed occurrences) are one appointment, read from the block without
// RECURRENCE-ID (else the first). Other events are left alone and logged when the index is built.
class CAppointmentWinVista : public COutlook {
public:
    using LogSink = std::function<void(const QString&)>;

    // Works in the user's calendar folder, looked up at every operation.
    explicit CAppointmentWinVista(LogSink log = {});
    // Works in the given folder (tests, benchmarks).
    CAppointmentWinVista(QString calendarFolder, LogSink log);

    // The calendar folder; empty when it cannot be determined.
    QString CalendarFolder() const;

    // Appends the event to "<Categories>.ics" (names matched without regard to case;
    // "DefaultCalendar.ics" for none), creating the folders and the file as needed. The index
    // is rebuilt after every add and delete, and before a delete-all.
    void Add(ItemRecord& record, QString& id) override;
    // Rewrites the event where it is found; a calendar name that differs moves it: the other
    // file is written first, then the event removed from its old file. Lines of the old event
    // that this store does not write (categories, exceptions, other programs' properties) stay;
    // so do its rule unless the record gives one or says it does not recur, and its alarms unless
    // the record gives a reminder. Fails with nothing touched for an unknown identifier.
    void Edit(ItemRecord& record, const QString& id) override;
    // Removes every block of the event; an event that is already gone is no failure.
    void Delete(const QString& id) override;
    // Removes every served event of the indexed files: a file that holds nothing else (besides
    // its frame and time zones) is deleted, any other keeps the rest.
    void DeleteAll() override;
    void Get(const QString& id, ItemRecord& record) override;
    void GetIDs(QStringList& ids) override;
    // A checksum of the event's lines (all its blocks); 0 for an unknown identifier.
    std::uint32_t IDtoCRC32(const QString& id) override;

    // The change check's first steps: the folders, then the index; each event not served is
    // logged then (not at the rebuilds after every add and delete).
    void PrepareToCheck();
    void BeforeCheck(const QString&) override { PrepareToCheck(); }
    void BeforeEmpty(const QString&) override { LoadCalendarIndex(); }
    void CreateCalendarFolders();
    // Lists the calendar files (sorted without regard to case). Throws when the folder or a file
    // exists but cannot be read: a shorter list would make the peer delete what it misses.
    void LoadCalendarIndex();
    // Every calendar's title, each followed by ","; they join the contacts source's category
    // names. Throws when the calendar folder cannot be found.
    QString GetCalendarNames();
    QString CategoryNames() override { return GetCalendarNames(); }
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override;

    // The end of a synchronisation and the client's departure let go of the parsed files and the
    // index (a large calendar holds about a kilobyte per event); a later request reads the files
    // again, as one before the first change check does.
    void AtRelease() override { Release(); }
    void AtDeparture() override { Release(); }
    void Release();

private:
    struct CalendarFileEntry {
        QString path;
        QStringList uids;
    };
    // An event found in a file.
    struct Located {
        QString path;
        std::shared_ptr<const IcsCalendar> calendar;
        const std::vector<int>* blocks = nullptr;  // every block of the UID, file order (in `calendar`)
        int served = 0;                            // the block the appointment is read from
    };

    QString RequireFolder() const;
    void BuildIndex(bool logUnserved);
    // Where the event is now; `forWrite` looks at the file even when it was looked at just now.
    std::optional<Located> Locate(const QString& id, bool forWrite);
    std::optional<Located> LocateIn(const QString& path, const QString& uid, bool forWrite);
    QString TargetFile(const QString& folder, const QString& calendarName) const;
    void Remember(const QString& path, const QString& uid);
    void ForgetUid(const QString& uid);
    void Log(const QString& line) const;

    std::optional<QString> fixedFolder_;
    LogSink log_;
    std::vector<CalendarFileEntry> index_;
    QHash<QString, QString> fileOfUid_;
    CalendarFileCache cache_;
};

// Regular files ending in ".ics" (without regard to case) in the folder, sorted by name without
// regard to case; none when the folder does not exist. Throws AgentError when it exists but
// cannot be read.
QStringList ListCalendarFiles(const QString& folder);
