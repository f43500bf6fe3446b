#include "dialogs/qt/overlay_form.h"

TOverlayForm::TOverlayForm(QWidget* parent)
    : QDialog(parent)
{
}
