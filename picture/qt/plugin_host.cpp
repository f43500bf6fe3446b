#include "picture/qt/plugin_host.h"

#include <QGuiApplication>
#include <cstdio>

namespace velmora {

void ensure_gui_application()
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    static int argc = 1;
    static char name[] = "velmora";
    static char* argv[] = { name, nullptr };
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    static_cast<void>(application);
}

} // namespace velmora
