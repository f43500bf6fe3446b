#pragma once

#include <QWidget>
#include <string>

class QLabel;

// The progress window: one line of text shown while a dialog does a long
// piece of work on the user-interface thread. It has no border, stays on top
// of other windows and is centred on the screen.
//
// Use: create an instance owned by the caller (no parent), SetText, show()
// (never modal), let pending events run, do the work, destroy the instance.
// A click on the window hides it; the work goes on and the owner still
// destroys it when the work ends.
class TWaitForm : public QWidget {
    Q_OBJECT
public:
    explicit TWaitForm(QWidget* parent = nullptr);

    // Shows the text and handles pending events once, so that the window
    // paints at once.
    void SetText(const std::string& text);
    std::string Text() const;

    // A click on the window closes (hides) it.
    void FormClick();

    QLabel* WaitLab = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
