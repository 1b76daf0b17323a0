// The report page's texts and lines, and the JPEG encoder.

#include "files/file_name_text.h"
#include "files/open_drawing.h"
#include "report/drawing_report.h"
#include "report/html_text.h"
#include "report/jpeg_writer.h"
#include "report/report_batch.h"
#include "report/report_page.h"

#include "support/dwg_builder.h"

#include <chrono>
#include <gtest/gtest.h>

#include <QImage>
#include <QTimeZone>
#include <cerrno>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

namespace {

std::vector<std::string> lines(const std::string& page) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < page.size()) {
        const std::size_t end = page.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        out.push_back(page.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// The folder's files; the markers of a batch still at work there are not counted.
std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != kvx::kWorkFolderName)
            names.insert(entry.path().filename().string());
    return names;
}

// Writes the report of `drawing`, named `name`, with a plain white picture; in a batch, stages
// it into the batch's group as the batch's workers and window do.
void writeWhiteReport(const std::string& drawing, const std::string& name,
                      kvx::ReportBatch* batch = nullptr) {
    kvx::DrawingReport report;
    report.drawingPath = drawing;
    report.name = name;
    report.preview = QImage(252, 126, QImage::Format_RGB888);
    report.preview.fill(Qt::white);
    if (batch == nullptr) {
        kvx::writeDrawingReport(report);
        return;
    }
    // Nothing is staged before the batch has dealt with the folder's leftovers.
    batch->ready(std::chrono::hours(1));
    const kvx::DrawingFile file(drawing);
    kvx::adoptReport(
        *batch,
        kvx::stageReport(
            drawing, kvx::makeReportFiles(file, drawing, name, {}, report.preview, false), false));
}

kvx::ReportFields plainFields() {
    kvx::ReportFields f;
    f.shortName = "site";
    f.imageFileName = "site.dwg.jpg";
    f.location = "/plans/site.dwg";
    f.version = "Version 2004/2005";
    f.modified = "06/12/2026 16:45:24";
    f.size = "52 octets";
    return f;
}

TEST(ReportPage, plainNameLineByLine) {
    const std::vector<std::string> l = lines(kvx::reportPage(plainFields()));
    ASSERT_EQ(l.size(), 23u);
    const std::string cell = "<td width=\"84%\"><b><font face=\"Verdana, Arial, Helvetica, "
                             "sans-serif\" size=\"2\" color=\"#0000FF\">";
    const std::string expected[23] = {
        "<html><head><title></title>",
        "</head><body bgcolor=\"#FFFFFF\" text=\"#000000\">",
        "<p><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\"><b><font size=\"3\">"
        "File name: <font color=\"#FF0000\">site</font></font></b></font></p>",
        "<p>&nbsp;</p><table width=\"98%\" border=\"0\" cellspacing=\"0\" height=\"173\"><tr>",
        "<td width=\"38%\" colspan=\"2\"><p><img src=\"site.dwg.jpg\" border=\"1\"></p>"
        "<p>&nbsp;</p></td></tr>",
        "<tr>",
        "<td width=\"20%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" "
        "size=\"2\">Location:</font></b></td>",
        "<td width=\"80%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\" "
        "color=\"#0000FF\">/plans/site.dwg</font></b></td>",
        "</tr>",
        "<tr>",
        "<td width=\"16%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" "
        "size=\"2\">Version:</font></b></td>",
        cell + "Version 2004/2005</font></b></td>",
        "</tr>",
        "<tr>",
        "<td width=\"16%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" "
        "size=\"2\">Modified:</font></b></td>",
        cell + "06/12/2026 16:45:24</font></b></td>",
        "</tr>",
        "<tr>",
        "<td width=\"16%\"><b><font face=\"Verdana, Arial, Helvetica, sans-serif\" "
        "size=\"2\">Size:</font></b></td>",
        cell + "52 octets</font></b></td>",
        "</tr>",
        "</table>",
        "<p>&nbsp;</p><p>&nbsp;</p></body></html>",
    };
    for (std::size_t i = 0; i < 23; ++i)
        EXPECT_EQ(l[i], expected[i]) << "line " << i + 1;
}

TEST(ReportPage, specialCharactersAreEscaped) {
    kvx::ReportFields f = plainFields();
    const QString name = QString::fromUtf8("R&D <plan> \"été\" #2.dwg");
    f.shortName = kvx::shortName(name);
    f.imageFileName = (name + ".jpg").toUtf8().toStdString();
    f.location = "/plans 100%/" + name;
    f.version = QString::fromUtf8("Internal version pré-2.5");
    const std::vector<std::string> l = lines(kvx::reportPage(f));
    ASSERT_EQ(l.size(), 23u);
    EXPECT_NE(l[2].find(">R&amp;D &lt;plan&gt; &quot;&#233;t&#233;&quot; #2</font>"),
              std::string::npos)
        << l[2];
    EXPECT_NE(l[4].find("src=\"R&amp;D &lt;plan&gt; &quot;&#233;t&#233;&quot; %232.dwg.jpg\""),
              std::string::npos)
        << l[4];
    EXPECT_NE(l[7].find(">/plans 100%/R&amp;D &lt;plan&gt; &quot;&#233;t&#233;&quot; #2.dwg<"),
              std::string::npos)
        << l[7];
    EXPECT_NE(l[11].find(">Internal version pr&#233;-2.5<"), std::string::npos);
    // Nothing outside ASCII is left in the page.
    for (const std::string& line : l)
        for (unsigned char c : line)
            EXPECT_LT(c, 0x80);
}

TEST(ReportPage, textHelpers) {
    struct Case {
        const char* in;
        const char* text;
        const char* src;
    };
    const Case cases[] = {
        {"plain.dwg.jpg", "plain.dwg.jpg", "plain.dwg.jpg"},
        {"a%b#c?d.jpg", "a%b#c?d.jpg", "a%25b%23c%3Fd.jpg"},
        // A colon would make the name a scheme, a backslash a folder.
        {"Lot2:a\\b.jpg", "Lot2:a\\b.jpg", "Lot2%3Aa%5Cb.jpg"},
        {"<&>\"", "&lt;&amp;&gt;&quot;", "&lt;&amp;&gt;&quot;"},
        {"\xF0\x9F\x98\x80 \xE2\x82\xAC", "&#128512; &#8364;", "&#128512; &#8364;"},
        // Bytes that are no UTF-8 (a Latin-1 name, a cut sequence, a surrogate) go into a
        // link percent-encoded, so that it reaches the file of those very bytes.
        {"plan\xE9.dwg.jpg", "plan&#65533;.dwg.jpg", "plan%E9.dwg.jpg"},
        {"a\xE2\x82.jpg", "a&#65533;&#65533;.jpg", "a%E2%82.jpg"},
        {"\xED\xA0\x80%.jpg", "&#65533;&#65533;&#65533;%.jpg", "%ED%A0%80%25.jpg"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kvx::htmlText(kvx::displayName(c.in)), c.text);
        EXPECT_EQ(kvx::htmlSrc(c.in), c.src);
    }
    // What a browser strips or drops from a link: blanks at the ends, control bytes, DEL.
    EXPECT_EQ(kvx::htmlSrc("  lead a.dwg "), "%20%20lead a.dwg%20");
    EXPECT_EQ(kvx::htmlSrc("t\tc\rl\nx\x01\x7F.jpg"), "t%09c%0Dl%0Ax%01%7F.jpg");
    EXPECT_EQ(kvx::htmlSrc("   "), "%20%20%20");
    EXPECT_EQ(kvx::shortName("a.b.dwg"), "a");
    EXPECT_EQ(kvx::shortName("noext"), "noext");
    EXPECT_EQ(kvx::shortName(".x.dwg"), "");
    EXPECT_EQ(kvx::reportSize(0), "0 octets");
    EXPECT_EQ(kvx::reportSize(5'000'000'000LL), "5000000000 octets");
}

TEST(ReportTime, localesMidnightAndEvenSeconds) {
    struct Case {
        const char* locale;
        QTime time;
        const char* expected;
    };
    const QDate date(2026, 12, 6);
    const Case cases[] = {
        {"fr_FR", QTime(16, 45, 25), "06/12/2026 16:45:24"},
        {"fr_FR", QTime(7, 5, 9), "06/12/2026 07:05:08"},
        {"fr_FR", QTime(0, 0, 1), "06/12/2026"}, // cut to midnight: the date alone
        {"en_US", QTime(16, 45, 24), "12/6/26 4:45:24 PM"},
        {"en_US", QTime(7, 5, 9), "12/6/26 7:05:08 AM"},
        {"en_US", QTime(0, 0, 0), "12/6/26"},
        {"de_DE", QTime(9, 3, 0), "06.12.26 09:03:00"},
    };
    for (const Case& c : cases) {
        const QDateTime when(date, c.time); // local time
        EXPECT_EQ(kvx::reportTime(when, QLocale(c.locale)).toStdString(), c.expected)
            << c.locale << " " << c.time.toString().toStdString();
    }
}

TEST(Jpeg, baselineJfifOfTheRightSizeAndColours) {
    QImage src(252, 126, QImage::Format_RGB888);
    src.fill(QColor(200, 30, 40));
    for (int y = 0; y < 63; ++y)
        for (int x = 0; x < 252; ++x)
            src.setPixelColor(x, y, QColor(20, 160, 220));
    const std::string bytes = kvx::encodeJpeg(src.constBits(), src.width(), src.height(),
                                              static_cast<std::size_t>(src.bytesPerLine()));
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xD8);
    EXPECT_NE(bytes.find("JFIF"), std::string::npos);
    EXPECT_NE(bytes.find("\xFF\xC0", 0), std::string::npos) << "baseline frame";
    EXPECT_EQ(bytes.find("\xFF\xC2", 0), std::string::npos) << "not progressive";
    QImage back;
    ASSERT_TRUE(back.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                  static_cast<int>(bytes.size()), "JPG"));
    EXPECT_EQ(back.size(), QSize(252, 126));
    const QColor top = back.pixelColor(100, 20), bottom = back.pixelColor(100, 100);
    EXPECT_NEAR(top.red(), 20, 8);
    EXPECT_NEAR(top.blue(), 220, 8);
    EXPECT_NEAR(bottom.red(), 200, 8);
    EXPECT_NEAR(bottom.green(), 30, 8);
}

// A report write that was killed leaves a temporary beside the drawing; the next one clears it.
TEST(DrawingReport, writesBothFilesAndClearsWhatAKilledWriteLeft) {
    kvxtest::TempDir dir;
    kvxtest::writeFile(dir.file("a.dwg"), kvxtest::Bytes(52, 'x'));
    // Untouched for two hours: no other copy's batch still holds them.
    for (const char* report : {"a.dwg.jpg", "a.dwg.htm"}) {
        const std::string stale = dir.file(kvx::temporaryPrefixFor(report) + "Ab12Cd");
        kvxtest::writeFile(stale, kvxtest::Bytes(3, 'y'));
        std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() -
                                                    std::chrono::hours(2));
    }
    writeWhiteReport(dir.file("a.dwg"), "a.dwg");
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"a.dwg", "a.dwg.htm", "a.dwg.jpg"}));
}

// Two copies of the program at work in one folder share nothing but the folder: a second batch
// that starts while the first holds a staged group leaves that group alone, and both end with
// every report whole.
TEST(DrawingReport, aSecondBatchLeavesTheFirstOnesStagedGroupAlone) {
    kvxtest::TempDir dir;
    const std::vector<std::string> drawings{"a.dwg", "b.dwg", "c.dwg"};
    for (const std::string& name : drawings)
        kvxtest::writeFile(dir.file(name), kvxtest::Bytes(52, 'x'));
    kvx::ReportBatch first(dir.path());
    for (const char* name : {"a.dwg", "b.dwg"})
        writeWhiteReport(dir.file(name), name, &first);
    {
        kvx::ReportBatch second(dir.path());
        for (const char* name : {"b.dwg", "c.dwg"})
            writeWhiteReport(dir.file(name), name, &second);
        ASSERT_NO_THROW(kvx::commitReports(second));
    }
    ASSERT_EQ(first.files().size(), 4u);
    ASSERT_NO_THROW(kvx::commitReports(first));
    EXPECT_EQ(namesIn(dir.path()),
              (std::set<std::string>{"a.dwg", "a.dwg.htm", "a.dwg.jpg", "b.dwg", "b.dwg.htm",
                                     "b.dwg.jpg", "c.dwg", "c.dwg.htm", "c.dwg.jpg"}));
    for (const std::string& name : drawings) {
        QImage picture;
        EXPECT_TRUE(picture.load(QString::fromStdString(dir.file(name + ".jpg")))) << name;
    }
}

// A report whose picture or page is a link to a file elsewhere replaces the link only.
TEST(DrawingReport, aReportFileThatIsALinkIsReplacedNotItsTarget) {
    kvxtest::TempDir dir;
    std::filesystem::create_directory(dir.file("plans"));
    kvxtest::writeFile(dir.file("plans/a.dwg"), kvxtest::Bytes(52, 'x'));
    kvxtest::writeFile(dir.file("elsewhere"), kvxtest::Bytes(4, 'm'));
    for (const char* name : {"plans/a.dwg.jpg", "plans/a.dwg.htm"})
        std::filesystem::create_symlink(dir.file("elsewhere"), dir.file(name));
    writeWhiteReport(dir.file("plans/a.dwg"), "a.dwg");
    EXPECT_EQ(std::filesystem::file_size(dir.file("elsewhere")), 4u);
    for (const char* name : {"plans/a.dwg.jpg", "plans/a.dwg.htm"})
        EXPECT_TRUE(
            std::filesystem::is_regular_file(std::filesystem::symlink_status(dir.file(name))))
            << name;
}

// A batch's reports wait under hidden names and appear whole when the batch commits them; a
// report that cannot be put in place then says so as a write would, and leaves no temporary.
TEST(DrawingReport, aBatchPutsItsReportsInPlaceAtItsCommit) {
    kvxtest::TempDir dir;
    kvxtest::writeFile(dir.file("a.dwg"), kvxtest::Bytes(52, 'x'));
    kvx::ReportBatch batch(dir.path());
    writeWhiteReport(dir.file("a.dwg"), "a.dwg", &batch);
    for (const std::string& name : namesIn(dir.path()))
        EXPECT_TRUE(name == "a.dwg" || name.find(".kvx-tmp-") != name.npos) << name;
    ASSERT_NO_THROW(kvx::commitReports(batch));
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"a.dwg", "a.dwg.htm", "a.dwg.jpg"}));

    // A folder that came in the way of a picture since it was staged.
    std::filesystem::remove(dir.file("a.dwg.jpg"));
    std::filesystem::remove(dir.file("a.dwg.htm"));
    writeWhiteReport(dir.file("a.dwg"), "a.dwg", &batch);
    std::filesystem::create_directory(dir.file("a.dwg.jpg"));
    kvxtest::writeFile(dir.file("a.dwg.jpg/x"), kvxtest::Bytes(1, 'x'));
    try {
        kvx::commitReports(batch);
        ADD_FAILURE() << "the commit should fail";
    } catch (const kvx::ReportCommitError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  kvx::cannotCreateText(kvx::displayName(dir.file("a.dwg.jpg")), EISDIR));
        EXPECT_EQ(e.reportsNotWritten(), 1u);
    }
    // The picture goes in before its page: never a new page without its new picture.
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"a.dwg", "a.dwg.jpg"}));
}

// Groups go in place on the batch's own thread in the order handed over; once one fails, the
// groups handed after it are dropped, so no report after the failure is put in place.
TEST(DrawingReport, aFailedGroupDropsEveryGroupAfterIt) {
    kvxtest::TempDir dir;
    const std::vector<std::string> drawings{"a.dwg", "b.dwg", "c.dwg", "d.dwg"};
    for (const std::string& name : drawings)
        kvxtest::writeFile(dir.file(name), kvxtest::Bytes(52, 'x'));
    {
        kvx::ReportBatch batch(dir.path());
        for (const std::string& name : drawings) {
            writeWhiteReport(dir.file(name), name, &batch);
            if (name == "c.dwg") {
                // A folder came in the way of c's picture since it was staged.
                std::filesystem::create_directory(dir.file("c.dwg.jpg"));
                kvxtest::writeFile(dir.file("c.dwg.jpg/x"), kvxtest::Bytes(1, 'x'));
            }
            batch.commitLater(); // a group a report
        }
        while (!batch.settled(std::chrono::seconds(1))) {
        }
        try {
            kvx::checkReports(batch);
            ADD_FAILURE() << "the third group should fail";
        } catch (const kvx::ReportCommitError& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      kvx::cannotCreateText(kvx::displayName(dir.file("c.dwg.jpg")), EISDIR));
            EXPECT_EQ(e.reportsNotWritten(), 2u); // c and d
        }
        // Staged after the failure, dropped when the batch ends.
        writeWhiteReport(dir.file("a.dwg"), "a.dwg", &batch);
    }
    EXPECT_EQ(namesIn(dir.path()),
              (std::set<std::string>{"a.dwg", "a.dwg.htm", "a.dwg.jpg", "b.dwg", "b.dwg.htm",
                                     "b.dwg.jpg", "c.dwg", "c.dwg.jpg", "d.dwg"}));
}

TEST(Jpeg, libjpegErrorsBecomeExceptions) {
    const unsigned char pixel[3] = {1, 2, 3};
    // A picture wider than JPEG allows makes libjpeg fail; the program must go on.
    EXPECT_THROW(kvx::encodeJpeg(pixel, 70000, 1, 3 * 70000), std::runtime_error);
    EXPECT_THROW(kvx::encodeJpeg(pixel, 0, 0, 0), std::runtime_error);
}

} // namespace
