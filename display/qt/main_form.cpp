#include "display/qt/main_form.h"

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent)
{
}
