#pragma once

#include "imaging/bitmap.h"

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <vector>

class QPainter;

// An image control: paints a 24-bit bitmap at its top-left, reading the
// bitmap's rows at every paint. The bitmap is owned elsewhere and must
// outlive the view; call update() after changing its pixels.
class BitmapView : public QWidget {
    Q_OBJECT
public:
    explicit BitmapView(const velmora::Bitmap* bitmap, QWidget* parent = nullptr);

    // Shows rows held elsewhere in place of the bitmap's own (a frame where
    // its frames are kept, without copying it into the bitmap): row y of the
    // view is the bitmap's width of 24-bit pixels at rows[y]; the bitmap
    // still gives the size. Repaints the view. The rows must stay valid
    // while they are shown; an empty list shows the bitmap's own rows again.
    void show_rows(std::vector<const std::uint8_t*> rows);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool paint_into_device(QPainter& painter, const QRect& part, qreal ratio);
    const std::uint8_t* row(int y) const;

    const velmora::Bitmap* bitmap_;
    std::vector<const std::uint8_t*> rows_;
    // A few rows of the bitmap in the window's own 32-bit format, reused
    // from paint to paint (see paintEvent).
    QImage band_;
};
