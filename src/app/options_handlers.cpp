// Restoring the settings into their controls, and the handlers that write each one back
// the moment its control changes.

#include "app/main_window.h"

#include "app/application.h"
#include "app/settings/startup_entry.h"
#include "preview/dwg_thumbnail.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

namespace {
std::string utf8(const QString& s) {
    return s.toUtf8().toStdString();
}
} // namespace

void TForm1::controlHandler(void (TForm1::*handler)()) {
    if (m_restoring) {
        // Start-up sets controls one by one; the first failure ends start-up there.
        if (m_pendingError)
            return;
        try {
            (this->*handler)();
        } catch (...) {
            m_pendingError = std::current_exception();
        }
        return;
    }
    kvx::runHandler([this, handler] { (this->*handler)(); });
}

void TForm1::rethrowPendingError() {
    if (m_pendingError) {
        std::exception_ptr e = m_pendingError;
        m_pendingError = nullptr;
        std::rethrow_exception(e);
    }
}

void TForm1::connectOptionHandlers() {
    // toggled and valueChanged fire for changes made in code too, as start-up relies on:
    // a control set to a state other than its form default writes its value back.
    auto onToggle = [this](QAbstractButton* b, void (TForm1::*handler)()) {
        connect(b, &QAbstractButton::toggled, this, [this, handler] { controlHandler(handler); });
    };
    onToggle(CheckBox1, &TForm1::CheckBox1Click);
    onToggle(CheckBox2, &TForm1::CheckBox2Click);
    onToggle(CheckBox3, &TForm1::CheckBox3Click);
    onToggle(CheckBox4, &TForm1::CheckBox4Click);
    onToggle(CheckBox5, &TForm1::CheckBox5Click);
    onToggle(CheckBox6, &TForm1::CheckBox6Click);
    onToggle(CheckBox7, &TForm1::CheckBox7Click);
    onToggle(CheckBox8, &TForm1::CheckBox8Click);
    // A radio button's handler runs only when it becomes checked.
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            controlHandler(&TForm1::RadioButton2Click);
    });
    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            controlHandler(&TForm1::RadioButton3Click);
    });
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this] { controlHandler(&TForm1::TrackBar1Change); });
    Edit4->installEventFilter(this);
}

void TForm1::RestoreSettings() {
    m_restoring = true;
    m_pendingError = nullptr;
    struct Done {
        TForm1* f;
        ~Done() { f->m_restoring = false; }
    } done{this};

    Settings.open();
    const kvx::StartupTexts texts = kvx::readStartupTexts(Settings);
    kvx::SettingCopies = {texts.path, texts.lastchm, texts.effhtml, texts.effjpg};
    const kvx::StartupControlStates s = kvx::startupControlStates(texts);

    // Each control set in turn; a handler's failure ends start-up at that step.
    auto check = [this](QAbstractButton* box, bool on) {
        box->setChecked(on);
        rethrowPendingError();
    };
    check(CheckBox4, s.checkBox4);
    check(CheckBox5, s.checkBox5);
    check(CheckBox6, s.checkBox6);
    check(CheckBox3, s.checkBox3);
    DwgThumbnail1->setNoMagnify(!s.checkBox3);

    check(CheckBox7, Settings.readBool("autoname"));
    check(CheckBox8, Settings.readBool("bigimage"));

    Edit4->setText(QString::fromStdString(Settings.readText("indexname")));
    TrackBar1->setValue(s.trackBar1);
    rethrowPendingError();
    check(CheckBox1, s.checkBox1);
    check(CheckBox2, s.checkBox2);
    // The two buttons form one group: checking one unchecks the other, and only the one
    // that becomes checked runs its handler.
    check(RadioButton2, s.radioButton2);
    check(RadioButton3, !s.radioButton2);
}

void TForm1::TrackBar1Change() {
    Settings.writeText("temp", std::to_string(TrackBar1->value()));
}

void TForm1::CheckBox1Click() {
    Settings.writeTextFlag("supp", CheckBox1->isChecked());
}

void TForm1::CheckBox2Click() {
    Settings.writeTextFlag("ontop", CheckBox2->isChecked());
}

void TForm1::RadioButton2Click() {
    Settings.writeTextFlag("ouvre", RadioButton2->isChecked());
}

void TForm1::RadioButton3Click() {
    Settings.writeTextFlag("ouvre", RadioButton2->isChecked());
}

void TForm1::CheckBox4Click() {
    const bool on = CheckBox4->isChecked();
    kvx::SettingCopies.effhtml = on ? "1" : "0";
    Settings.writeTextFlag("effhtml", on);
}

void TForm1::CheckBox5Click() {
    const bool on = CheckBox5->isChecked();
    kvx::SettingCopies.effjpg = on ? "1" : "0";
    Settings.writeTextFlag("effjpg", on);
}

void TForm1::CheckBox6Click() {
    kvx::storeLaunchAtStartup(Settings, CheckBox6->isChecked(),
                              utf8(QCoreApplication::applicationFilePath()));
}

void TForm1::CheckBox7Click() {
    const bool autoName = CheckBox7->isChecked();
    Edit4->setEnabled(!autoName);
    Label14->setEnabled(!autoName);
    Settings.writeDword("autoname", autoName ? 1 : 0);
}

void TForm1::CheckBox8Click() {
    Settings.writeDword("bigimage", CheckBox8->isChecked() ? 1 : 0);
}

void TForm1::Edit4Exit() {
    // Only a text the user changed is stored: one merely passed through stays as the file
    // holds it, in whatever encoding it was written.
    if (!Edit4->isModified())
        return;
    Settings.writeText("indexname", utf8(Edit4->text()));
    Edit4->setModified(false);
}
