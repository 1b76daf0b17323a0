#include "app/application.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    kvx::createForms(app.arguments().mid(1));
    const int status = app.exec();
    kvx::destroyForms();
    return status;
}
