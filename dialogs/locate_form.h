#pragma once

#include <QDialog>

// The water-edge locator; its caption is the picture's name at each opening.
class TLocateForm : public QDialog {
    Q_OBJECT
public:
    explicit TLocateForm(QWidget* parent = nullptr);
};
