#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <string_view>
#include <vector>

// The lines of an iCalendar file as programs really write them. A line ends at LF, with an
// optional CR before it (other programs write LF alone); a line that begins with a blank or a tab
// continues the one before it (folding, which may split a UTF-8 sequence, so lines are joined as
// bytes before they are decoded). The file's bytes are kept as they are, so that a rewrite can
// replace or remove some lines and leave every other byte, line ends included, unchanged.
class IcsLines {
public:
    // One line of the file as stored: its bytes from `offset`, `length` bytes without the line
    // end, then `endLength` bytes of line end (0 for a last line that has none).
    struct Physical {
        qsizetype offset = 0;
        qsizetype length = 0;
        qsizetype endLength = 0;
    };
    // One unfolded line: the stored lines it spans.
    struct Line {
        int firstPhysical = 0;
        int lastPhysical = 0;
    };

    IcsLines() = default;
    // A UTF-8 byte-order mark at the start belongs to no line and stays where it is.
    explicit IcsLines(QByteArray bytes);

    const QByteArray& Bytes() const { return bytes_; }
    int Count() const { return static_cast<int>(lines_.size()); }
    // The unfolded line decoded from UTF-8. Decoding is left until a line is asked for: a reader
    // looking for a few properties need not decode every line of a large file.
    QString Text(int line) const;
    QStringList Texts() const;
    // Whether the unfolded line starts with an ASCII text, or is that text (blanks after it
    // allowed), compared without regard to case; neither decodes the line.
    bool StartsWith(int line, std::string_view prefix) const;
    bool Is(int line, std::string_view text) const;

    // Where the stored bytes of the unfolded line begin, and where they end after its line end.
    qsizetype StartOffset(int line) const;
    qsizetype EndOffset(int line) const;
    // The stored bytes of the unfolded lines first..last, line ends included.
    QByteArray Raw(int first, int last) const;
    // The file's own line end: that of its first line that has one; CR LF for a file without.
    QByteArray LineEnd() const;

private:
    QByteArray bytes_;
    std::vector<Physical> physical_;
    std::vector<Line> lines_;
};

// One content line split into its parts: the property name in upper case, its parameters (the
// texts between ";" up to the value, quotes kept), and the value after the first ":" that is not
// inside a quoted parameter.
struct IcsProperty {
    QString name;
    QStringList params;
    QString value;
};
IcsProperty SplitIcsProperty(const QString& line);

// The value of a date property (DTSTART, DTEND, RECURRENCE-ID): the text after the line's last
// ":". A zone name in an unquoted TZID parameter may hold ":" itself ("(UTC+01:00) Berlin"),
// which no date value does.
QString IcsDateValue(const QString& line);

// Whether a parameter list holds NAME=VALUE, both compared without regard to case.
bool HasIcsParam(const QStringList& params, QStringView name, QStringView value);
// Whether it holds a parameter of that name (compared without regard to case), whatever its value.
bool HasIcsParamNamed(const QStringList& params, QStringView name);
// The value of the first parameter of that name, quotes removed; empty when there is none.
QString IcsParamValue(const QStringList& params, QStringView name);
