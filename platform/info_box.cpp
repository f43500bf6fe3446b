#include "platform/info_box.h"

#include "base/show_info.h"

#include <QApplication>
#include <QMessageBox>

namespace velmora {

void install_info_box()
{
    set_info_handler([](const std::string& text) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Velmora"),
            QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    });
}

} // namespace velmora
