#pragma once

#include <QDialog>

// The overlay's transparent-colour picker.
class TXOverlayForm : public QDialog {
    Q_OBJECT
public:
    explicit TXOverlayForm(QWidget* parent = nullptr);
};
