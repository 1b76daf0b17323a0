#pragma once
// The program's settings: the values of the key
// HKEY_CURRENT_USER\Software\Stalwen\Korvenix31, kept in the hive file
// $XDG_CONFIG_HOME/Stalwen/Korvenix31.reg. No Qt.
//
// Wiring the main window
// ----------------------
// One SettingsStore lives for the whole run (a member of TForm1, or reached through it by
// the index build for "lastchm"). The key is opened once and stays open; every write goes
// to the file at once.
//
// FormCreate, restoring the settings (each step may throw a SettingsError; the handler that
// shows exceptions in the "Erreur" box takes it and the rest of start-up is skipped):
//   1.  store.open();                       // false: key missing or damaged, no message
//   2-3 StartupTexts t = readStartupTexts(store);     // may throw SettingsTypeError
//       SettingCopies = {t.path, t.lastchm, t.effhtml, t.effjpg};
//       StartupControlStates s = startupControlStates(t);
//   4.  CheckBox4->setChecked(s.checkBox4); CheckBox5->setChecked(s.checkBox5);
//   5.  CheckBox6->setChecked(s.checkBox6);           // its handler rewrites the entry
//   6.  CheckBox3->setChecked(s.checkBox3); preview NoMagnify := !s.checkBox3;
//   7.  CheckBox7->setChecked(store.readBool("autoname"));   // throws SettingsReadError
//       CheckBox8->setChecked(store.readBool("bigimage"));   // when absent or key not open
//   8.  Edit4->setText(store.readText("indexname"));         // no handler runs
//   9.  TrackBar1->setValue(s.trackBar1);
//   10. CheckBox1->setChecked(s.checkBox1); CheckBox2->setChecked(s.checkBox2);
//   11. RadioButton2 / RadioButton3 checked as s.radioButton2 says.
// Only a control whose state differs from its form default runs its handler, and the
// handler writes the value back in its normal form.
//
// Handlers (each lets the SettingsError propagate to the "Erreur" box; the control keeps
// its new state):
//   TrackBar1Change      store.writeText("temp", std::to_string(position))
//   CheckBox1Click       store.writeTextFlag("supp", checked)
//   CheckBox2Click       store.writeTextFlag("ontop", checked)
//   RadioButton2/3Click  store.writeTextFlag("ouvre", RadioButton2 checked)
//   CheckBox3Click       store.writeTextFlag("zoom", checked); NoMagnify := !checked
//   CheckBox4Click       SettingCopies.effhtml = "1"/"0"; store.writeTextFlag("effhtml", checked)
//   CheckBox5Click       SettingCopies.effjpg = "1"/"0"; store.writeTextFlag("effjpg", checked)
//   CheckBox6Click       storeLaunchAtStartup(store, checked, programPath)
//   CheckBox7Click       store.writeDword("autoname", checked); Edit4, Label14 enabled = !checked
//   Edit4Exit            store.writeText("indexname", text)
//   CheckBox8Click       store.writeDword("bigimage", checked)
//   index build          SettingCopies.lastchm = path; store.writeText("lastchm", path)
// Setting a copy before the write keeps it in step with the control when the write fails.

#include "app/settings/registry_key.h"
#include "app/settings/settings_errors.h"

#include <cstdint>
#include <string>

namespace kvx {

// The settings key inside the hive.
extern const char* const kSettingsKeyPath; // "HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31"

// $XDG_CONFIG_HOME/Stalwen/Korvenix31.reg, default ~/.config/Stalwen/Korvenix31.reg.
std::string settingsHivePath();

class SettingsStore {
public:
    explicit SettingsStore(std::string hivePath = settingsHivePath());

    // Opens the existing key without creating anything. False when the hive is missing,
    // cannot be read, is not a registry file or lacks the key; openProblem() says which.
    bool open();
    bool isOpen() const { return m_key.isOpen(); }
    std::string openProblem() const { return m_key.problem(); }
    const std::string& hivePath() const { return m_hivePath; }

    // A text value (REG_SZ or REG_EXPAND_SZ, up to its first zero byte). Absent, or the
    // key not open: empty text. Any other type: SettingsTypeError.
    std::string readText(const std::string& name) const;
    // A REG_DWORD value; any non-zero number is true. Absent, key not open or unreadable:
    // SettingsReadError. Any other type: SettingsTypeError.
    bool readBool(const std::string& name) const;

    // "1" or "0" as REG_SZ.
    void writeTextFlag(const std::string& name, bool on);
    void writeText(const std::string& name, const std::string& text);
    // 1 or 0 as REG_DWORD for a Boolean.
    void writeDword(const std::string& name, std::uint32_t number);

private:
    std::string m_hivePath;
    RegistryKey m_key;
};

// The texts start-up reads before it sets any control, in the order it reads them.
struct StartupTexts {
    std::string ontop, supp, ouvre, temp, path, lastchm, start, effhtml, effjpg, zoom;
};
// Throws SettingsTypeError at the first of them stored with a non-text type.
StartupTexts readStartupTexts(const SettingsStore& store);

// The states those texts give the controls (the Boolean values and Edit4 are read later).
struct StartupControlStates {
    bool checkBox4 = false;    // "effhtml" equals "1"
    bool checkBox5 = false;    // "effjpg" equals "1"
    bool checkBox6 = false;    // "start" equals "1"
    bool checkBox3 = false;    // "zoom" equals "1"
    int trackBar1 = 1;         // number of "temp", limited to 1..20
    bool checkBox1 = false;    // number of "supp" is 1
    bool checkBox2 = false;    // number of "ontop" is 1
    bool radioButton2 = false; // number of "ouvre" is 1; RadioButton3 is the opposite
};
StartupControlStates startupControlStates(const StartupTexts& texts);

// The program-wide copies of four stored texts.
struct SettingsCopies {
    std::string path;    // the tool folder; never changes during a run
    std::string lastchm; // the last-index path
    std::string effhtml; // "1": delete the report pages after an index build
    std::string effjpg;  // "1": delete the report pictures after an index build
};
extern SettingsCopies SettingCopies;

// CheckBox6: on writes the start-up entry for `programPath` then "start" := "1"; a failed
// entry write throws SettingsWriteError("Korvenix 3.1") and leaves "start" as it was. Off
// removes the entry (a failure is ignored) then stores "start" := "0".
void storeLaunchAtStartup(SettingsStore& store, bool on, const std::string& programPath);

} // namespace kvx
