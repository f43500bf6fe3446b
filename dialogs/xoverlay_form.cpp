#include "dialogs/xoverlay_form.h"

TXOverlayForm::TXOverlayForm(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Pick Overlay Transparent Color"));
}
