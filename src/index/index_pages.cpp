#include "index/index_pages.h"

#include "files/atomic_file.h"
#include "files/file_name_text.h"
#include "files/paths.h"
#include "report/html_text.h"
#include "report/report_page.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace kvx {

const char* const kIndexPages[kIndexPageCount] = {"gauche.htm", "index.htm", "haut.htm",
                                                  "miniatures.htm", "droite.htm"};

namespace {

const char* const kEnd = "\r\n";

// The link styles of the list and the thumbnail table; the blanks are the pages' own.
const char* const kStyles =
    "<style type=\"text/css\">\r\n"
    "a:link {  color: #B0001F; font-family: Verdana, Arial, Helvetica, sans-serif; "
    "font-weight: bold; text-decoration: none}\r\n"
    "a:visited {  color: #B0001F; font-family: Verdana, Arial, Helvetica, sans-serif; "
    "font-weight: bold; text-decoration: none}\r\n"
    "a:hover {  color: #B0001F; font-family: Verdana, Arial, Helvetica, sans-serif; "
    "font-weight: bold; text-decoration: underline}\r\n"
    "a:active { color: #B0001F;font-family: Verdana, Arial, Helvetica, sans-serif; "
    "font-weight: bold;text-decoration: none}\r\n"
    "</style>\r\n";

// A page produced in pieces and handed to a sink a piece at a time, so that the index of a
// folder of 100,000 reports is never held whole in memory.
class PageOut {
public:
    explicit PageOut(const std::function<bool(std::string_view)>& sink) : m_sink(sink) {}
    std::string& text() { return m_text; }
    // Hands what was produced over once it makes a piece.
    void piece() {
        if (m_text.size() >= kPiece)
            flush();
    }
    bool flush() {
        if (m_ok && !m_text.empty())
            m_ok = m_sink(m_text);
        m_text.clear();
        return m_ok;
    }

private:
    static constexpr std::size_t kPiece = 64 * 1024;
    const std::function<bool(std::string_view)>& m_sink;
    std::string m_text;
    bool m_ok = true;
};

void leftFrame(PageOut& out, const NameList& reports) {
    std::string& page = out.text();
    page = "<html><head><title>gauche</title>\r\n";
    page += kStyles;
    page += "</head><body bgcolor=\"#FFFFCC\" text=\"#000000\">\r\n";
    page += "<a href=\"miniatures.htm\" target=\"droite\"><font face=\"Verdana, Arial, Helvetica, "
            "sans-serif\" size=\"2\">Miniatures</font></a><br><br>";
    int k = 0;
    for (const std::string_view each : reports) {
        const std::string file(each);
        page += "<a href=\"";
        page += htmlSrc(file);
        page += "\" target=\"droite\"><font face=\"Verdana, Arial, Helvetica, sans-serif\" "
                "size=\"2\">";
        page += std::to_string(++k);
        page += ". ";
        page += htmlText(shortName(displayName(file)));
        page += "</font></a> <br>\r\n";
        out.piece();
    }
    page += "</body></html>\r\n";
}

std::string frameset() {
    return "<html><head><title></title></head><frameset cols=\"160,*\" frameborder=\"YES\" "
           "border=\"0\" framespacing=\"0\" rows=\"*\">\r\n"
           "<frame name=\"gauche\" scrolling=\"AUTO\" noresize src=\"gauche.htm\"><frameset "
           "rows=\"44,*\" frameborder=\"YES\" border=\"0\" framespacing=\"0\" cols=\"*\">\r\n"
           "<frame name=\"haut\" scrolling=\"NO\" noresize src=\"haut.htm\" > <frame "
           "name=\"droite\" src=\"droite.htm\">\r\n"
           "</frameset></frameset><noframes>\r\n"
           // A reader without frames still reaches the list and the thumbnails.
           "<body bgcolor=\"#FFFFFF\" text=\"#000000\"><a href=\"gauche.htm\">Reports</a> <a "
           "href=\"miniatures.htm\">Miniatures</a></body></noframes></html>\r\n";
}

std::string topFrame(const std::string& folder) {
    std::string page =
        "<html><head><title>haut</title></head><body bgcolor=\"#FFFFCC\" text=\"#000000\">\r\n"
        "<table width=\"757\" border=\"0\" height=\"22\"><tr>\r\n"
        "<td width=\"85\"><font face=\"Verdana, Arial, Helvetica, sans-serif\" "
        "size=\"2\"><b>Folder:</b></font></td>\r\n"
        "<td width=\"588\"><div align=\"left\"><b><font color=\"#0000FF\" face=\"Verdana, Arial, "
        "Helvetica, sans-serif\" size=\"2\">";
    page += htmlText(displayName(folder));
    page += "</font></b></div></td>\r\n"
            "<td width=\"82\"><div align=\"right\"><input type=\"button\" name=\"Submit\" "
            "value=\" Print ! \" "
            "onclick=\"javascript:parent['droite'].focus();parent['droite'].print();\" "
            "></div></td>\r\n"
            "</tr></table></body></html>\r\n";
    return page;
}

void thumbnails(PageOut& out, const NameList& reports) {
    std::string& page = out.text();
    page = "<html><head><title></title>\r\n";
    page += kStyles;
    page += "</head><body bgcolor=\"#FFFFFF\" text=\"#000000\">\r\n"
            "<p>&nbsp;</p>\r\n"
            "<table width=\"600\" border=\"0\" cellpadding=\"0\" cellspacing=\"2\" "
            "align=\"center\">\r\n"
            "<tr>\r\n";
    int cell = 0;
    for (const std::string_view each : reports) {
        const std::string file(each);
        const std::string name = htmlText(shortName(displayName(file)));
        page += "<td width=\"196\" height=\"120\">\r\n"
                "<p align=\"center\"><img src=\"";
        page += htmlSrc(reportImageName(file));
        page += "\" width=\"181\" height=\"91\" border=\"1\"></br>\r\n"
                "<font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"1\"><a href=\"";
        page += htmlSrc(file);
        page += "\">";
        page += name;
        page += "</a></font></p>\r\n"
                "</td>\r\n";
        // Three cells to a row.
        if (++cell == 3) {
            cell = 0;
            page += "</tr>\r\n<tr>\r\n";
        }
        out.piece();
    }
    page += "</tr></table></body></html>\r\n";
}

std::string mainFrame() {
    return "<html><head><title>droite</title></head><body bgcolor=\"#FFFFFF\" "
           "text=\"#000000\">\r\n"
           "<p>&nbsp;</p><p>&nbsp;</p><p>&nbsp;</p></body></html>\r\n";
}

} // namespace

bool isIndexPageName(const QString& name) {
    return std::any_of(std::begin(kIndexPages), std::end(kIndexPages), [&](const char* page) {
        return name.compare(QLatin1String(page), Qt::CaseInsensitive) == 0;
    });
}

FolderListing listReportPages(const std::string& folder) {
    FolderListing listing = listFolder(folder, "*.htm");
    for (std::size_t i = listing.names.size(); i-- > 0;) {
        if (isIndexPageName(displayName(std::string(listing.names[i]))))
            listing.names.erase(i);
    }
    return listing;
}

bool writeIndexPage(int page, const std::string& folder, const NameList& reports,
                    const std::function<bool(std::string_view)>& sink) {
    PageOut out(sink);
    switch (page) {
    case 0:
        leftFrame(out, reports);
        break;
    case 1:
        out.text() = frameset();
        break;
    case 2:
        out.text() = topFrame(folder);
        break;
    case 3:
        thumbnails(out, reports);
        break;
    default:
        out.text() = mainFrame();
        break;
    }
    return out.flush();
}

std::string indexPage(int page, const std::string& folder, const NameList& reports) {
    std::string bytes;
    writeIndexPage(page, folder, reports, [&bytes](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    return bytes;
}

IndexPagesResult writeIndexPages(const std::string& folder, const NameList& reports) {
    IndexPagesResult result;
    for (int page = 0; page < kIndexPageCount; ++page) {
        const std::string path = joinPath(folder, kIndexPages[page]);
        std::string error;
        AtomicFileWriter file;
        const bool written =
            file.open(path, 0644, error, &result.errorNumber, Links::Replace) &&
            writeIndexPage(page, folder, reports,
                           [&](std::string_view piece) {
                               return file.write(piece, error, &result.errorNumber);
                           }) &&
            file.commit(error, &result.errorNumber, FolderSync::Now);
        if (!written) {
            result.ok = false;
            result.failedPath = displayName(path);
            return result;
        }
    }
    return result;
}

} // namespace kvx
