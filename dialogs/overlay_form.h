#pragma once

#include <QDialog>

// The overlay placement dialog; its caption is the main picture's name at each opening.
class TOverlayForm : public QDialog {
    Q_OBJECT
public:
    explicit TOverlayForm(QWidget* parent = nullptr);
};
