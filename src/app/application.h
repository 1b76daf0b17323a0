#pragma once
// The program's entry pieces: the application object that reports every handler's error,
// and the creation of the four forms in their start-up order.

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <functional>

class TForm2;
class TForm3;
class TForm4;

extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;

namespace kvx {

extern const char* const kApplicationTitle;

// Runs one handler: an exception ends the handler and its text is shown in an "Erreur"
// box; the program goes on.
void runHandler(const std::function<void()>& handler);
// Shows the exception being handled in an "Erreur" box; call only inside a catch.
void reportCurrentException();

// Creates TForm1, TForm2, TForm4 and TForm3 in that order; the three last stay hidden.
// Shows the main window unless an argument asked for a start in the notification area.
void createForms(const QStringList& arguments);
// Destroys the forms (the application's end, and between tests).
void destroyForms();

// Loads the program's images; the resources live in a static library.
void initResources();

// The program's icon at every size it is drawn in.
QIcon programIcon();

} // namespace kvx

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    // A last net for exceptions that leave an event handler outside runHandler.
    bool notify(QObject* receiver, QEvent* event) override;
};
