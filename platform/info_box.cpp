#include "platform/info_box.h"

#include "base/show_info.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace velmora {

namespace {

    QPointer<QWidget>& owner()
    {
        static QPointer<QWidget> window;
        return window;
    }

} // namespace

void install_info_box()
{
    set_info_handler([](const std::string& text) {
        QWidget* over = owner() ? owner().data() : QApplication::activeWindow();
        QMessageBox box(QMessageBox::Information, QStringLiteral("Velmora"),
            QString::fromStdString(text), QMessageBox::Ok, over);
        if (owner()) {
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
            box.show();
            box.raise();
            box.activateWindow();
        }
        box.exec();
    });
}

void set_info_box_owner(QWidget* window)
{
    owner() = window;
}

} // namespace velmora
