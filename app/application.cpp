#include "app/application.h"

#include "settings/show_info.h"

#include <QMessageBox>
#include <exception>

namespace velmora {

namespace {

    QString box_title()
    {
        const QString name = QApplication::applicationName();
        return name.isEmpty() ? QStringLiteral("Velmora") : name;
    }

} // namespace

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, box_title(), QString::fromUtf8(error.what()));
    }
    return false;
}

void install_message_box_info_handler()
{
    set_info_handler([](const std::string& text) {
        QMessageBox::information(nullptr, box_title(), QString::fromStdString(text));
    });
}

} // namespace velmora
