#include "app/message_box.h"

#include "app/application.h"
#include "app/title_bar.h"
#include "app/widget_factory.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <deque>

namespace kvx {

namespace {
std::deque<int> g_answers;
bool g_autoAnswer = false;
// The last boxes only: a long run must not keep every message it ever showed.
QList<ShownMessage> g_shown;
constexpr int kShownKept = 32;

int escapeAnswer(int buttons) {
    if (buttons & MbCancel)
        return MbCancel;
    if (buttons & MbNo)
        return MbNo;
    return MbOk;
}
} // namespace

QString messageTitle(MsgKind kind) {
    switch (kind) {
    case MsgKind::Warning:
        return QStringLiteral("Avertissement");
    case MsgKind::Error:
        return QStringLiteral("Erreur");
    case MsgKind::Information:
        return QStringLiteral("Information");
    case MsgKind::Confirmation:
        return QStringLiteral("Confirmation");
    case MsgKind::Plain:
        return QString::fromLatin1(kApplicationTitle);
    }
    return {};
}

int messageDlg(const QString& text, MsgKind kind, int buttons, int defaultButton, QWidget* parent,
               bool aboveOthers) {
    if (g_shown.size() == kShownKept)
        g_shown.removeFirst();
    g_shown.append({kind, messageTitle(kind), text, buttons, aboveOthers});
    if (!g_answers.empty()) {
        const int answer = g_answers.front();
        g_answers.pop_front();
        return answer;
    }
    if (g_autoAnswer)
        return escapeAnswer(buttons);

    static const QMessageBox::Icon icons[] = {QMessageBox::Warning, QMessageBox::Critical,
                                              QMessageBox::Information, QMessageBox::Question,
                                              QMessageBox::NoIcon};
    QMessageBox box(icons[static_cast<int>(kind)], messageTitle(kind), text, QMessageBox::NoButton,
                    parent ? parent : QApplication::activeWindow());
    struct Choice {
        int id;
        const char* caption;
        QMessageBox::ButtonRole role;
    };
    static const Choice choices[] = {{MbYes, "&Oui", QMessageBox::YesRole},
                                     {MbNo, "&Non", QMessageBox::NoRole},
                                     {MbOk, "OK", QMessageBox::AcceptRole},
                                     {MbCancel, "Annuler", QMessageBox::RejectRole}};
    QList<QPair<QAbstractButton*, int>> made;
    for (const Choice& c : choices) {
        if (!(buttons & c.id))
            continue;
        QPushButton* b = box.addButton(QString::fromUtf8(c.caption), c.role);
        made.append({b, c.id});
        if (c.id == defaultButton)
            box.setDefaultButton(b);
    }
    // Escape counts as a refusal.
    const int onEscape = escapeAnswer(buttons);
    for (const auto& m : made)
        if (m.second == onEscape)
            box.setEscapeButton(m.first);
    // A box blocks the window that asked for it, so it must be seen: above another program's
    // window that came up meanwhile (the CAD program after Open), not behind it.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    if (aboveOthers)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // A box has a fixed size: a maximise offered by a title bar Qt draws itself is turned back.
    refuseMaximise(&box);
    if (ownTitleBars())
        addTitleBarAboveLayout(&box);
    box.exec();
    for (const auto& m : made)
        if (box.clickedButton() == m.first)
            return m.second;
    return onEscape;
}

void showError(const QString& text) {
    messageDlg(text, MsgKind::Error, MbOk, MbOk);
}

void showMessage(const QString& text) {
    messageDlg(text, MsgKind::Plain, MbOk, MbOk);
}

namespace MessageSeam {
void setNextAnswer(int button) {
    g_answers.push_back(button);
}
void setAutoAnswer(bool on) {
    g_autoAnswer = on;
}
QList<ShownMessage> shown() {
    return g_shown;
}
void clear() {
    g_shown.clear();
    g_answers.clear();
}
} // namespace MessageSeam

} // namespace kvx
