#include "dialogs/overlay_form.h"

TOverlayForm::TOverlayForm(QWidget* parent)
    : QDialog(parent)
{
}
