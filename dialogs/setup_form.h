#pragma once

#include <QDialog>

// The setup dialog: the main window of the configure mode.
class TSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetupForm(QWidget* parent = nullptr);
};
