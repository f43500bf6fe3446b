#include "app/application.h"

#include <QMessageBox>
#include <exception>

namespace velmora {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Velmora"), QString::fromUtf8(error.what()));
    }
    return false;
}

} // namespace velmora
