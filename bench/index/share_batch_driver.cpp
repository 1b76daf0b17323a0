// The Index tab's "Create new files to build Index" clicked once on a folder given on the command
// line, as a user would on a share: the drawings are written first when missing, the settings
// stay on this machine. It says on stdout when the batch starts, every box the program asked
// for and every stall of the window over 100 ms, each with its time from the click, then the
// batch's times; the exit status is 0 when the index is in place. Scripts kill it, take the
// share away under it, or run two at once on one folder.
//   share_batch_driver FOLDER [DRAWINGS]   (2,000 drawings by default)

#include "app/settings_fixture.h"
#include "batch_milestones.h"
#include "support/dwg_builder.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "drawing/shell_tree_view.h"
#include "index/result_dialog.h"
#include "report/wait_window.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

void writeMissingDrawings(const QString& folder, int drawings) {
    QDir().mkpath(folder);
    const kvxtest::Bytes dwg =
        kvxtest::DwgBuilder("AC1018")
            .headerData()
            .bmp(kvxtest::makeBmp(kvxtest::Image::pattern(216, 140, 200), {8}))
            .build();
    for (int i = 0; i < drawings; ++i) {
        const QString path =
            folder + QStringLiteral("/plan %1.dwg").arg(i, 5, 10, QLatin1Char('0'));
        if (!QFile::exists(path))
            kvxtest::writeFile(QFile::encodeName(path).toStdString(), dwg);
    }
}

double secondsSince(Clock::time_point start, Clock::time_point at = Clock::now()) {
    return std::chrono::duration<double>(at - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [DRAWINGS]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int drawings = argc > 2 ? std::atoi(argv[2]) : 2000;
    TApplication app(argc, argv);
    // Tools and settings on this machine, as an office installs them.
    const QString tools = QCoreApplication::applicationDirPath() + "/kvx-share-driver-tools-" +
                          QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(tools);
    QFile::link(QStringLiteral(KVX_HHC), tools + "/hhc.exe");
    SettingsFixture settings(
        QByteArray("\"autoname\"=dword:00000001\r\n\"bigimage\"=dword:00000000\r\n"
                   "\"effhtml\"=\"0\"\r\n\"effjpg\"=\"0\"\r\n\"path\"=\"") +
        QFile::encodeName(tools) + "\"\r\n");
    // The folder tree starts at the folder holding the drawings' folder.
    qputenv("XDG_DESKTOP_DIR", QFile::encodeName(QFileInfo(folder).path()));
    writeMissingDrawings(folder, drawings);
    kvx::MessageSeam::setAutoAnswer(true);
    kvx::createForms({});
    Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
    if (!Form1->ShellTreeView1->selectPath(folder)) {
        std::fprintf(stderr, "the folder tree does not show %s\n", argv[1]);
        return 2;
    }
    Form1->PageControl1->setCurrentWidget(Form1->Html);
    const QString index = folder + '/' + Form1->IndexFileName();
    QFile::remove(index);

    BatchMilestones milestones;
    const auto start = Clock::now();
    auto lastBeat = start;
    double longest = 0;
    int told = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - lastBeat).count();
        lastBeat = now;
        longest = std::max(longest, gap);
        if (gap > 100)
            std::printf("%8.2f s  the window did not answer for %.0f ms\n", secondsSince(start),
                        gap);
        const auto shown = kvx::MessageSeam::shown();
        for (; told < shown.size(); ++told)
            std::printf("%8.2f s  box \"%s\": %s\n", secondsSince(start),
                        shown[told].title.toUtf8().constData(),
                        shown[told].text.toUtf8().replace('\n', " / ").constData());
        std::fflush(stdout);
    });
    std::printf("batch started on %s, %d drawings\n", argv[1], drawings);
    std::fflush(stdout);
    heartbeat.start(5);
    Form1->SpeedButton8->click();
    heartbeat.stop();
    const auto shown = kvx::MessageSeam::shown();
    for (; told < shown.size(); ++told)
        std::printf("%8.2f s  box \"%s\": %s\n", secondsSince(start),
                    shown[told].title.toUtf8().constData(),
                    shown[told].text.toUtf8().replace('\n', " / ").constData());
    const bool built = milestones.resultShown != Clock::time_point{} && QFile::exists(index);
    if (milestones.waitShown != Clock::time_point{})
        std::printf("reports: %.2f s\n", secondsSince(start, milestones.waitShown));
    if (milestones.resultShown != Clock::time_point{})
        std::printf("index: %.2f s\n", secondsSince(milestones.waitShown, milestones.resultShown));
    std::printf("batch: %.2f s, longest stall %.0f ms, index %s\n", secondsSince(start), longest,
                built ? "built" : "NOT built");
    std::fflush(stdout);
    kvx::destroyForms();
    QDir(tools).removeRecursively();
    return built ? 0 : 1;
}
