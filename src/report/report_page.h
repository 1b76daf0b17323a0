#pragma once
// The report of one drawing: its HTML page and the texts on it. GUI-free.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <string>

namespace kvx {

// The name up to, not including, its first "." ("a.b.dwg" gives "a").
QString shortName(const QString& fileName);

// The drawing's last-write time as the report shows it: local time cut to an even second,
// the locale's short date, then (unless it is exactly midnight) a blank and the time:
// hours with a leading zero only where the locale writes one, two-digit minutes and
// seconds joined by the locale's separator, and AM/PM where the locale uses a 12-hour clock.
QString reportTime(const QDateTime& modified, const QLocale& locale);

// "52 octets".
QString reportSize(std::int64_t bytes);

struct ReportFields {
    QString shortName;
    std::string imageFileName; // bare name of the picture beside the page, as bytes
    QString location;          // the drawing's full path
    QString version;
    QString modified;
    QString size;
};

// The page's 23 lines, each ended by CR LF.
std::string reportPage(const ReportFields& fields);

} // namespace kvx
