#include "dialogs/setup_form.h"

TSetupForm::TSetupForm(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Velmora Setup"));
}
