#include "dialogs/locate_form.h"

TLocateForm::TLocateForm(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Locate Bottom"));
}
