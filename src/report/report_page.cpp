#include "report/report_page.h"

#include "report/html_text.h"

#include <QRegularExpression>

namespace kvx {

namespace {

// The locale's time pattern rebuilt with seconds: "h:mm AP" gives "h:mm:ss AP".
QString timePattern(const QLocale& locale) {
    const QString f = locale.timeFormat(QLocale::ShortFormat);
    const bool twelve = f.contains(QLatin1String("AP"), Qt::CaseInsensitive) ||
                        f.contains(QLatin1Char('a')) || f.contains(QLatin1Char('A'));
    // The hour as the locale writes it: a leading zero when its pattern doubles the letter.
    const QRegularExpression hourRe(QStringLiteral("([hH]+)"));
    const auto hm = hourRe.match(f);
    const bool leadingZero = hm.hasMatch() && hm.captured(1).size() >= 2;
    // The separator is what follows the hour.
    QString separator = QStringLiteral(":");
    if (hm.hasMatch()) {
        const int after = hm.capturedEnd(1);
        int end = after;
        while (end < f.size() && f[end] != QLatin1Char('m') && f[end] != QLatin1Char('M'))
            ++end;
        if (end > after)
            separator = f.mid(after, end - after).remove(QLatin1Char('\''));
    }
    QString hour = twelve ? (leadingZero ? QStringLiteral("hh") : QStringLiteral("h"))
                          : (leadingZero ? QStringLiteral("HH") : QStringLiteral("H"));
    const QString quotedSep = QLatin1Char('\'') + separator + QLatin1Char('\'');
    QString pattern = hour + quotedSep + QStringLiteral("mm") + quotedSep + QStringLiteral("ss");
    if (twelve) {
        // AM/PM stays on the side where the locale puts it.
        const int ap = f.indexOf(QRegularExpression(QStringLiteral("[aA][pP]?")));
        const bool before = hm.hasMatch() && ap >= 0 && ap < hm.capturedStart(1);
        pattern = before ? QStringLiteral("AP ") + pattern : pattern + QStringLiteral(" AP");
    }
    return pattern;
}

} // namespace

QString shortName(const QString& fileName) {
    const int dot = fileName.indexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

QString reportTime(const QDateTime& modified, const QLocale& locale) {
    QDateTime local = modified.toLocalTime();
    const QTime t = local.time();
    // DOS date-times count seconds in pairs.
    const QTime even(t.hour(), t.minute(), t.second() - t.second() % 2);
    const QString date = locale.toString(local.date(), QLocale::ShortFormat);
    if (even == QTime(0, 0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(even, timePattern(locale));
}

QString reportSize(std::int64_t bytes) {
    return QString::number(bytes) + QStringLiteral(" octets");
}

std::string reportPage(const ReportFields& f) {
    static const char* const kCell =
        "<td width=\"84%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\" "
        "color=\"#0000FF\">";
    static const char* const kCellEnd = "</font></b></td>";
    auto label = [](const char* width, const char* text) {
        return std::string("<td width=\"") + width +
               "\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">" + text +
               ":</font></b></td>";
    };
    const std::string lines[] = {
        "<html><head><title></title>",
        "</head><body bgcolor=\"#FFFFFF\" text=\"#000000\">",
        "<p><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\"><b><font "
        "size=\"3\">File name: <font color=\"#FF0000\">" +
            htmlText(f.shortName) + "</font></font></b></font></p>",
        "<p>&nbsp;</p><table width=\"98%\" border=\"0\" cellspacing=\"0\" height=\"173\"><tr>",
        "<td width=\"38%\" colspan=\"2\"><p><img src=\"" + htmlSrc(f.imageFileName) +
            "\" border=\"1\"></p><p>&nbsp;</p></td></tr>",
        "<tr>",
        label("20%", "Location"),
        "<td width=\"80%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\" "
        "color=\"#0000FF\">" +
            htmlText(f.location) + kCellEnd,
        "</tr>",
        "<tr>",
        label("16%", "Version"),
        kCell + htmlText(f.version) + kCellEnd,
        "</tr>",
        "<tr>",
        label("16%", "Modified"),
        kCell + htmlText(f.modified) + kCellEnd,
        "</tr>",
        "<tr>",
        label("16%", "Size"),
        kCell + htmlText(f.size) + kCellEnd,
        "</tr>",
        "</table>",
        "<p>&nbsp;</p><p>&nbsp;</p></body></html>",
    };
    std::string page;
    for (const std::string& line : lines)
        page += line + "\r\n";
    return page;
}

} // namespace kvx
