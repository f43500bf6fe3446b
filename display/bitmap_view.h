#pragma once

#include "imaging/bitmap.h"

#include <QWidget>

// An image control: paints a 24-bit bitmap at its top-left, viewing the
// bitmap's rows in place. The bitmap is owned elsewhere and must outlive the
// view; call update() after changing its pixels.
class BitmapView : public QWidget {
    Q_OBJECT
public:
    explicit BitmapView(const velmora::Bitmap* bitmap, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const velmora::Bitmap* bitmap_;
};
