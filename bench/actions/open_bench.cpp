// From a click on Open to the desktop's drawing application receiving the path, through the
// drawing bridge: the first click starts the bridge by bus activation, later ones attach.

#include "app/settings_fixture.h"
#include "support/drawing_desktop.h"
#include "support/dwg_builder.h"
#include "support/private_bus.h"

#include "actions/automation.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "drawing/shell_tree_view.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QRadioButton>
#include <QThread>
#include <QToolButton>

namespace {

DrawingDesktop* g_desktop = nullptr;
const QString kName = kvx::busNameForProgId("AutoCad.Application.16");

// One click, timed until the drawing application has been started with the path.
void timedClick(benchmark::State& state) {
    const int before = g_desktop->viewerStarts().size();
    QElapsedTimer clock;
    clock.start();
    Form1->SpeedButton1->click();
    while (g_desktop->viewerStarts().size() == before) {
        if (clock.elapsed() > 60000) {
            state.SkipWithError("the drawing application was never started");
            return;
        }
        QThread::usleep(100);
    }
    state.SetIterationTime(clock.nsecsElapsed() / 1e9);
}

void BM_FirstClick(benchmark::State& state) {
    for (auto _ : state) {
        PrivateBus::stopOwner(kName);
        timedClick(state);
    }
}
BENCHMARK(BM_FirstClick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_SecondClick(benchmark::State& state) {
    Form1->SpeedButton1->click();
    for (auto _ : state)
        timedClick(state);
}
BENCHMARK(BM_SecondClick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    DrawingDesktop desktop(root.path());
    desktop.installViewer();
    g_desktop = &desktop;
    PrivateBus bus(KVX_BRIDGE_SERVICES);
    TApplication app(argc, argv);
    SettingsFixture settings;
    const QString dir = settings.desktop() + "/plans";
    QDir().mkpath(dir);
    kvxtest::writeFile(QFile::encodeName(dir + "/site.dwg").toStdString(),
                       kvxtest::DwgBuilder("AC1018").build());
    kvx::MessageSeam::setAutoAnswer(true);
    kvx::createForms({});
    Form1->RadioButton3->setChecked(true);
    Form1->ShellTreeView1->selectPath(dir);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrivateBus::stopOwner(kName);
    kvx::destroyForms();
    return 0;
}
