#pragma once

#include <QWidget>

// The saver's full-screen window.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
};
