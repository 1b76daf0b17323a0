#include "app/settings/settings_store.h"

#include "app/settings/number_rule.h"
#include "app/settings/startup_entry.h"

namespace kvx {

const char* const kSettingsKeyPath = "HKEY_CURRENT_USER\\Software\\Stalwen\\Korvenix31";

SettingsCopies SettingCopies;

std::string settingsHivePath() {
    return userConfigPath("Stalwen/Korvenix31.reg");
}

SettingsStore::SettingsStore(std::string hivePath) : m_hivePath(std::move(hivePath)) {}

bool SettingsStore::open() {
    return m_key.open(m_hivePath, kSettingsKeyPath) == RegStatus::Ok;
}

std::string SettingsStore::readText(const std::string& name) const {
    RegValue value;
    if (!m_key.isOpen() || m_key.query(name, value) != RegStatus::Ok)
        return {};
    if (value.type != RegSz && value.type != RegExpandSz)
        throw SettingsTypeError(name);
    return value.data.substr(0, value.data.find('\0'));
}

bool SettingsStore::readBool(const std::string& name) const {
    RegValue value;
    if (!m_key.isOpen())
        throw SettingsReadError(name, m_key.problem());
    switch (m_key.query(name, value)) {
    case RegStatus::Ok:
        break;
    case RegStatus::NotFound:
        throw SettingsReadError(name, "'" + m_hivePath + "' holds no value \"" + name + "\" in [" +
                                          kSettingsKeyPath + "]");
    case RegStatus::Failed:
        throw SettingsReadError(name, m_key.problem());
    }
    if (value.type != RegDword)
        throw SettingsTypeError(name);
    // A value longer than four bytes does not fit the reader's buffer.
    if (value.data.size() > 4)
        throw SettingsReadError(name);
    return value.data.find_first_not_of('\0') != std::string::npos;
}

void SettingsStore::writeTextFlag(const std::string& name, bool on) {
    writeText(name, on ? "1" : "0");
}

void SettingsStore::writeText(const std::string& name, const std::string& text) {
    if (m_key.setString(name, text) != RegStatus::Ok)
        throw SettingsWriteError(name);
}

void SettingsStore::writeDword(const std::string& name, std::uint32_t number) {
    if (m_key.setDword(name, number) != RegStatus::Ok)
        throw SettingsWriteError(name);
}

StartupTexts readStartupTexts(const SettingsStore& store) {
    StartupTexts t;
    t.ontop = store.readText("ontop");
    t.supp = store.readText("supp");
    t.ouvre = store.readText("ouvre");
    t.temp = store.readText("temp");
    t.path = store.readText("path");
    t.lastchm = store.readText("lastchm");
    t.start = store.readText("start");
    t.effhtml = store.readText("effhtml");
    t.effjpg = store.readText("effjpg");
    t.zoom = store.readText("zoom");
    return t;
}

StartupControlStates startupControlStates(const StartupTexts& texts) {
    StartupControlStates s;
    s.checkBox4 = equalsOne(texts.effhtml);
    s.checkBox5 = equalsOne(texts.effjpg);
    s.checkBox6 = equalsOne(texts.start);
    s.checkBox3 = equalsOne(texts.zoom);
    s.trackBar1 = trackBarPosition(settingNumber(texts.temp));
    s.checkBox1 = settingNumber(texts.supp) == 1;
    s.checkBox2 = settingNumber(texts.ontop) == 1;
    s.radioButton2 = settingNumber(texts.ouvre) == 1;
    return s;
}

void storeLaunchAtStartup(SettingsStore& store, bool on, const std::string& programPath) {
    if (on) {
        writeStartupEntry(programPath);
        store.writeTextFlag("start", true);
    } else {
        deleteStartupEntry();
        store.writeTextFlag("start", false);
    }
}

} // namespace kvx
