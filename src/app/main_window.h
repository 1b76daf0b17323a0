#pragma once
// The main window: it owns every control of the four tabs. Each subsystem's handlers are
// members defined in that subsystem's folder.

#include "app/busy_state.h"
#include "app/settings/settings_store.h"
#include "files/name_list.h"

#include <QImage>
#include <QStringList>
#include <QWidget>
#include <chrono>
#include <exception>
#include <string>
#include <vector>

class QCheckBox;
class QKeyEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;
class TDwgThumbnail;
class TFileListBox;
class TShellTreeView;
class TPathLabel;
class TCoolTrayIcon;
namespace kvx {
struct IndexCompile;
struct PreviewResult;
} // namespace kvx

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Directly on the form.
    QLabel* Label6;
    QLabel* Image7;
    QTabWidget* PageControl1;
    QMenu* PopupMenu1;
    QAction* Quitter1;
    QAction* Aide1;
    QAction* Apropos1;

    // "View"
    QWidget* TabSheet1;
    QGroupBox* GroupBox1;
    TShellTreeView* ShellTreeView1;
    TFileListBox* FileListBox1;
    TPathLabel* Label1;
    QGroupBox* GroupBox2;
    QLabel* Label5;
    TDwgThumbnail* DwgThumbnail1;
    QLabel* Label4;
    QToolButton* SpeedButton1;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton6;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QCheckBox* CheckBox3;

    // "Index"
    QWidget* Html;
    QGroupBox* GroupBox9;
    TShellTreeView* ShellTreeView2;
    QLabel* Label11;
    QLabel* Label12;
    TFileListBox* FileListBox2;
    QGroupBox* GroupBox10;
    QLabel* Label14;
    QLineEdit* Edit4;
    QCheckBox* CheckBox7;
    QToolButton* SpeedButton7;
    QToolButton* SpeedButton8;
    QToolButton* SpeedButton9;

    // "Options"
    QWidget* TabSheet2;
    QGroupBox* GroupBox3;
    QLabel* Label2;
    QSlider* TrackBar1;
    QLabel* Label3;
    QGroupBox* GroupBox4;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QGroupBox* GroupBox5;
    QCheckBox* CheckBox1;
    QGroupBox* GroupBox6;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox6;
    QGroupBox* GroupBox12;
    QLabel* Label13;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox5;
    QGroupBox* GroupBox13;
    QCheckBox* CheckBox8;
    QLabel* Image1;
    QLabel* Image2;
    QLabel* Image3;
    QLabel* Image4;
    QLabel* Image5;
    QLabel* Image6;
    QLabel* Image8;

    // "Help"
    QWidget* TabSheet3;
    QGroupBox* GroupBox7;
    QToolButton* SpeedButton10;
    QGroupBox* GroupBox8;
    QToolButton* SpeedButton5;

    // The notification-area icon, from start-up until the window closes.
    TCoolTrayIcon* TrayIcon1 = nullptr;

    // Window handlers.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void FormDblClick();
    void Label6DblClick();
    void Quitter1Click();
    void Apropos1Click();

    // The View tab.
    void ShellTreeView1Change();
    void FileListBox1Click();
    void SpeedButton2Click(); // Erase
    void SpeedButton6Click(); // Report
    void WriteDrawingReport();

    // The slide show: Slide runs the whole show, Stop runs inside it between slides.
    void SpeedButton3Click(); // Slide
    void SpeedButton4Click(); // Stop
    // Ends a running show as Stop does, leaving the list alone, also one already stopping;
    // whatever changes the drawing list (a folder change, an erase) calls it first. Does
    // nothing when no show runs.
    void endSlideShow();
    bool slideShowRunning() const;
    // One track-bar step of the pause between slides.
    static std::chrono::milliseconds SlidePauseUnit;
    // The preview area for the selected drawing: Label1, the picture or its notice, Label5,
    // a repaint; it becomes the current drawing. `read`: its picture as already read, else it
    // is read now.
    void showDrawing(bool offeredToPreview, kvx::PreviewResult* read = nullptr);

    // The Index tab, and what the index build and the batch call.
    void connectIndexHandlers();
    void HtmlShow();
    void ShellTreeView2Change();
    // Re-reads FileListBox2 for ShellTreeView2's folder: its pages, less the five index pages.
    // Counts the reports in Label12 and enables the build buttons. Throws when it cannot be
    // read.
    void RefreshReportList();
    // The report list: the bare names of FileListBox2 as the file system gives them, in order.
    kvx::NameList ReportList() const;
    // False once the refusal is shown and Edit4 has the focus: the caller then stops.
    bool IndexNameCheck();
    // The folder an index build or a batch works in: ShellTreeView2's, as bytes so that a name
    // that is not UTF-8 is still reached. Empty when the name check refused (shown) or when no
    // folder is selected.
    std::string IndexFolder();
    // The bare file name of the compiled index.
    QString IndexFileName() const;
    // Writes the five index pages listing `reports` into `folder`, the window answering
    // meanwhile. False once the first failure is shown in the error box; the pages before it
    // stay written.
    bool WriteIndexPages(const std::string& folder, const kvx::NameList& reports);

    // The index build and the batch that reports every drawing first; each refuses to start
    // while its button waits.
    void connectIndexBuildHandlers();
    void SpeedButton7Click(); // Use existing files to build Index
    void SpeedButton8Click(); // Create new files to build Index
    // The build up to the result dialog: pages, compile, last index, clean-up, count.
    // False when it stopped on a refusal or an error, already shown, or for a close.
    bool BuildIndex();
    // The batch up to the build: a fresh report for every drawing of the Index tab's
    // folder, on the View tab. False when it stopped (no drawing, a refusal, an error, a close).
    bool ReportEveryDrawing();
    // The time a compile still gets once a close is asked for; then it is asked to end, and
    // ended if it does not. The earlier index stays and nothing is deleted.
    static std::chrono::milliseconds CompileCloseGrace;

    // What the window is busy with, and the command buttons that follow from it.
    kvx::BusyState Busy;
    kvx::CommandButtons commandState() const;
    void updateCommandButtons();
    // Marks an operation as running for its scope, which carries out a close asked for
    // meanwhile when it ends. Only while idle: every command that starts one checks first.
    class Running {
    public:
        Running(TForm1* form, kvx::Operation op);
        ~Running();
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

    private:
        TForm1* m_form;
    };
    // A close request (the window's, the tray's Exit, the session's end): false when nothing
    // runs and the window may close now; else the running operation is told.
    bool deferClose();

    // Viewers: the last index, the help file (also the tray menu's "Help"), the web site.
    void SpeedButton9Click();
    void SpeedButton10Click();
    void SpeedButton5Click();

    // Open in the CAD program (src/actions/open_in_cad.cpp).
    void SpeedButton1Click();

    // The keys (src/app/window_keys.cpp): Delete and Enter on the drawing list erase and open
    // as their buttons do; F5 reads a tab's folder tree and list again, keeping the folder
    // and the drawing selected when they are still there.
    void connectKeys();
    bool drawingListKey(QKeyEvent* event);
    void RereadViewFolders();
    void RereadIndexFolders();

    // The pixels of the preview area, where DwgThumbnail1 and Label4 stand, as on screen.
    QImage grabPreviewArea() const;
    // The report's picture of the area: what it shows, drawn with the light palette.
    QImage reportPicture() const;

    // Settings: restored at start-up, each written the moment its control changes.
    void RestoreSettings();
    void TrackBar1Change();
    void CheckBox1Click();
    void CheckBox2Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox5Click();
    void CheckBox6Click();
    void CheckBox7Click();
    void CheckBox8Click();
    void Edit4Exit();

    // The settings key, open for the whole run.
    kvx::SettingsStore Settings;

    bool compactMode() const { return m_compact; }
    // Whether start-up asked for the window to stay hidden (any command-line argument).
    bool startsMinimised() const { return m_startMinimised; }

signals:
    // A close was asked for while operations run.
    void closeRequested();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildViewTab();
    void buildIndexTab();
    void buildOptionsTab();
    void buildHelpTab();
    void connectHandlers();
    void clearPreviewArea();
    void colourReleaseLine();
    // " Files (n) " over a folder's drawings, " Files " over none.
    void showFileCount();
    void centreOnScreen();
    void commitEdit4();
    void destroyTrayIcon();
    void connectOptionHandlers();
    // Runs a control's handler: reports its error, or during start-up keeps it for
    // RestoreSettings, which then stops where the failing step stands.
    void controlHandler(void (TForm1::*handler)());
    void rethrowPendingError();

    // The running show's own state, from Slide until that show has returned.
    struct SlideRun;
    SlideRun* m_slideRun = nullptr;

    bool m_restoring = false;
    std::exception_ptr m_pendingError;

    bool m_compact = false;
    bool m_startMinimised = false;
    bool m_onTopApplied = false;
    bool m_shownOnce = false;
    // Runs the index build, then shows the result dialog unless it failed or a close waits.
    void buildThenShow();
    kvx::IndexCompile compileIndexFolder(const std::string& folder, const std::string& work);
    // An error of the index build, shown once the wait window is out of its way.
    void indexBuildError(const QString& text);

    // What the Index tab lists: a folder of files, and how many reports. Until the tab first
    // reads its folder, both build buttons stand enabled, as designed.
    bool m_indexFolder = true;
    int m_reportCount = 1;
    QStringList m_arguments;
};

// The main window, for the handlers of every subsystem.
extern TForm1* Form1;

// The drawing the View tab showed last (folder, "/", name); empty at start. Both are set
// together by the selection handler: the path as shown, and as the file system names it
// (for every file operation: a name need not be valid UTF-8).
extern QString CurrentDrawingPath;
extern std::string CurrentDrawingFile;
