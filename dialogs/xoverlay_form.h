#pragma once

#include "imaging/bitmap.h"

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QRect>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace velmora {

// The picture `bitmap` (24-bit) as an image whose pixels of exactly the
// colour `key` are fully transparent, as the saver leaves them out when it
// draws the overlay.
QImage keyed_qimage(const Bitmap& bitmap, Color key);

// "R=192, G=220, B=192".
QString color_components(Color color);

// What both overlay dialogs say when the footing is as high as the overlay
// picture or higher: no rows are left, and the saver shows no overlay.
extern const char* const kNoOverlayRows;

} // namespace velmora

// The overlay's transparent-colour picker: shows a fitted copy of the shared
// overlay picture with the current transparent colour knocked out, and makes
// the colour of a clicked pixel the new transparent colour. The caller sets
// both colours, shows the dialog modally and reads both back; Cancel has
// restored them by then.
class TXOverlayForm : public QDialog {
    Q_OBJECT
public:
    explicit TXOverlayForm(QWidget* parent = nullptr);
    ~TXOverlayForm() override;

    // The colour as the screen shows it (becomes OverlayXparentColor).
    velmora::Color OverlayXparentColor = 0;
    // The exact pixel value in the picture, -1 for none (becomes
    // Overlay24BitXparentColor).
    velmora::Color Overlay24BitXparentColor = -1;

    void FormCreate();
    void FormActivate();
    void Build();
    void set_x_color();
    void make_grids();
    void make_frame();
    void draw_overlay();
    void FormPaint();
    void FormMouseDown(int x, int y);
    void FormMouseMove(int x, int y);
    void BackColorButClick();
    void GridCBoxClick();
    void DoneButClick();
    void CancelBUtClick();

    // Where the picture lies on the dialog's surface (empty before Build).
    QRect image_rect() const;
    velmora::Color cursor_color() const { return cursor_color_; }
    QColor background_color() const { return background_; }
    // Sets the surface's background colour (what the colour chooser does).
    void set_background_color(const QColor& color);

    QWidget* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* CurrentShape = nullptr;
    QLabel* RGBLab = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* SetShape = nullptr;
    QLabel* RGBSetLab = nullptr;
    QPushButton* BackColorBut = nullptr;
    QCheckBox* GridCBox = nullptr;
    QPushButton* CancelBUt = nullptr;
    QPushButton* DoneBut = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void reject() override;
    bool event(QEvent* event) override;

private:
    void free_work_bitmap();
    // The colour the dialog shows at a point of its surface.
    velmora::Color shown_color(int x, int y);
    // A point of the window in the surface's pixels, and an area of the
    // window filled there.
    QPoint device_point(QPoint p) const;
    void fill(const QRect& area, velmora::Color color);

    velmora::Bitmap surface_; // the dialog's canvas above Panel1
    velmora::Bitmap work_; // the fitted copy of the overlay, while open
    bool no_rows_ = false; // the footing left nothing of the overlay
    qreal ratio_ = 1; // the surface's pixels per pixel of the window
    QSize image_size_; // the picture's size in the window
    int image_left_ = 0;
    int image_top_ = 0;
    bool drawn_ = false;
    bool grid_ = true;
    QPoint last_click_ { 0, 0 };
    bool clicked_ = false; // a pixel was picked during this opening
    velmora::Color cursor_color_ = 0;
    velmora::Color saved_screen_ = 0;
    velmora::Color saved_24_ = -1;
    QColor background_ { 192, 220, 192 };
};
