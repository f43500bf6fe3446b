#pragma once

#include "imaging/bitmap.h"

#include <QImage>
#include <QWidget>

// An image control: paints a 24-bit bitmap at its top-left, reading the
// bitmap's rows at every paint. The bitmap is owned elsewhere and must
// outlive the view; call update() after changing its pixels.
class BitmapView : public QWidget {
    Q_OBJECT
public:
    explicit BitmapView(const velmora::Bitmap* bitmap, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const velmora::Bitmap* bitmap_;
    // A few rows of the bitmap in the window's own 32-bit format, reused
    // from paint to paint (see paintEvent).
    QImage band_;
};
