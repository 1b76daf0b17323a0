#pragma once
// One window test's surroundings: private settings, desktop and autostart folders, message
// boxes answered as Escape would, and the forms destroyed at the end.

#include "settings_fixture.h"

#include "app/application.h"
#include "app/message_box.h"
#include "drawing/file_list_box.h"

#include <QStringList>

class WindowSession {
public:
    explicit WindowSession(const QByteArray& values = SettingsFixture::defaultValues())
        : fx(values) {
        kvx::MessageSeam::clear();
        kvx::MessageSeam::setAutoAnswer(true);
    }
    ~WindowSession() { kvx::destroyForms(); }

    SettingsFixture fx;
};

// The names a file list shows, in order.
inline QStringList listedNames(const TFileListBox* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->text(i);
    return names;
}
