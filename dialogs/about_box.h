#pragma once

#include "imaging/bitmap.h"

#include <QDialog>

class BitmapView;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

// The project's home page, shown by the about box and the setup dialog's
// link labels.
inline constexpr const char* kHomePageUrl = "https://velmora.example.org/";

// Opens the home page in the default web browser.
void open_home_page();

// The about box: the product's name over a small animated picture of water
// reflecting it, the version and a link to the home page. Created once and
// shown modally (exec()) as often as the user asks; every showing starts the
// animation again at frame 1.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    void FormActivate();
    void Timer1Timer();
    void OKButtonClick();
    void ToWebLabClick();

    // The frame (1 to kReflectFrames) the next timer tick draws.
    int AnimationFrame = 1;

    // What ProgramIcon shows: MAIN with a frame of REFLECT beneath it.
    const velmora::Bitmap& picture() const { return picture_; }

    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    BitmapView* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* ToWebLab = nullptr;
    QPushButton* OKButton = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void draw_frame(int n);
    void release_bitmaps();

    velmora::Bitmap picture_; // ProgramIcon's bitmap
    velmora::Bitmap main_; // MAIN, owned while the box is open
    velmora::Bitmap reflect_; // REFLECT, owned while the box is open
};
