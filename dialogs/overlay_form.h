#pragma once

#include "imaging/bitmap.h"
#include "settings/settings.h"

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class BitmapView;
class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QTimer;
class TLocateForm;
class TXOverlayForm;

// The overlay as the placement dialog shows it: drawn over the main preview
// with its transparent colour left out, and dragged with the mouse.
class OverlayImage : public QWidget {
    Q_OBJECT
public:
    explicit OverlayImage(QWidget* parent = nullptr);
    // Takes the picture and its key colour; the widget takes `size`, which
    // the picture fills. A picture larger than `size` is drawn in the
    // screen's own pixels on a scaling screen; by default the widget takes
    // the picture's size.
    void set_picture(const velmora::Bitmap& bitmap, velmora::Color key, QSize size = {});
    void set_key(velmora::Color key);
    const velmora::Bitmap& picture() const { return bitmap_; }
    velmora::Color key() const { return key_; }

    std::function<void(int x, int y)> on_mouse_down;
    std::function<void(int x, int y)> on_mouse_move;
    std::function<void()> on_mouse_up;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    velmora::Bitmap bitmap_;
    velmora::Color key_ = 0;
    QImage image_;
};

// The overlay placement dialog: a still preview of the main picture and its
// reflection with the overlay on top, where the user drags the overlay into
// place, scales and mirrors it, sets its footing and transparent colour and
// the brightness and wave of its reflection. The caller sets the parameters
// below, shows the dialog modally and reads them back afterwards, whichever
// button closed it. The previews are built with the saver's own routines and
// kept between openings; only what changed is rebuilt.
class TOverlayForm : public QDialog {
    Q_OBJECT
public:
    explicit TOverlayForm(QWidget* parent = nullptr);
    ~TOverlayForm() override;

    // Parameters, named by the settings they come from.
    std::string ImageFileName; // the main picture (not handed back)
    std::string OverlayFileName; // (not handed back)
    int XOffSet = 0; // overlay left in picture pixels
    int YOffSet = 0; // overlay top in picture pixels
    int ShiftPixels = 0; // S: the water edge, 0 when ShiftHorizon is off (not handed back)
    int ReflectionHeightPercent = 80; // P (not handed back)
    int OverlayZoomFactor = 100; // scale percent
    bool OverlayReflection = true;
    velmora::Color OverlayXparentColor = 0; // the colour as the screen shows it
    velmora::Color Overlay24BitXparentColor = 0; // the exact pixel value
    bool AutoOverlayXparentColor = true;
    bool FlipOverlay = false;
    int BrightnessLevel = 0; // B (not handed back)
    int OverlayShiftPixels = 0; // footing
    int OverlayBrightnessLevel = 0;
    int OverlayWaveAdjustment = 0;
    bool UseImageBottom = false; // U (not handed back)
    // Set when the user changed something worth saving; cleared by every build.
    bool OverlayChanged = false;

    // Takes the parameters from a settings record as the Setup dialog hands
    // them over (S is ShiftPixels only when ShiftHorizon is on).
    void set_parameters(const velmora::Settings& s);
    // Writes the handed-back parameters into a settings record.
    void take_parameters(velmora::Settings& s) const;

    // The single locator and picker of the configuration dialogs; when none
    // is given the dialog makes its own.
    void set_locate_form(TLocateForm* form) { locate_form_ = form; }
    void set_xoverlay_form(TXOverlayForm* form) { xoverlay_form_ = form; }
    TLocateForm* locate_form();
    TXOverlayForm* xoverlay_form();

    void FormCreate();
    void FormActivate();
    void Timer1Timer();
    void CloseButClick();
    void CancelButClick();
    void BackGroundButClick();
    void Image2MouseDown(int x, int y);
    void Image2MouseMove(int x, int y);
    void Image2MouseUp();
    void ResetButClick();
    void ShowBoundCBoxClick();
    void UpDown1Click();
    void Set100ButClick();
    void SelectXButClick();
    void AutoXCBoxClick();
    void FlipOverlayCBoxClick();
    void OverlayReflectionCBoxClick();
    void DepthButClick();
    void OBrightnessTBarChange();
    void OrefResetButClick();
    void ORefWaveTbarChange();
    void OrefWaveResetButClick();

    // State the tests and the Setup dialog look at.
    long double PreviewScale() const { return preview_scale_; }
    int WaterLineY() const { return water_line_y_; }
    const velmora::Bitmap& main_preview() const { return image1_bitmap_; }
    bool bound_rect_drawn() const { return bound_drawn_; }
    // How many times the main picture and the overlay picture were loaded.
    int main_loads() const { return main_loads_; }
    int overlay_loads() const { return overlay_loads_; }

    QFrame* Panel1 = nullptr;
    BitmapView* Image1 = nullptr;
    OverlayImage* Image2 = nullptr;
    QWidget* Panel2 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* OverlayScaleLab = nullptr;
    QPushButton* Set100But = nullptr;
    QSpinBox* UpDown1 = nullptr;
    QPushButton* DepthBut = nullptr;
    QCheckBox* ShowBoundCBox = nullptr;
    QCheckBox* OverlayReflectionCBox = nullptr;
    QCheckBox* AutoXCBox = nullptr;
    QPushButton* ResetBut = nullptr;
    QPushButton* BackGroundBut = nullptr;
    QCheckBox* FlipOverlayCBox = nullptr;
    QPushButton* SelectXBut = nullptr;
    QFrame* Shape1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* OBrightnessLab = nullptr;
    QSlider* OBrightnessTBar = nullptr;
    QPushButton* OrefResetBut = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* ORefWaveLab = nullptr;
    QSlider* ORefWaveTbar = nullptr;
    QPushButton* OrefWaveResetBut = nullptr;
    QPushButton* CancelBut = nullptr;
    QPushButton* CloseBut = nullptr;

public slots:
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override;

private:
    void reset_flags();
    void build_preview();
    void build_main_preview();
    void reload_overlay();
    // Loads the overlay picture into shared_overlay_bitmap; false (with the
    // error message set) when it cannot be loaded.
    bool load_overlay();
    void make_overlay_image();
    void place_overlay_image();
    void apply_zoom(int percent);
    void mirror_overlay();
    velmora::Color screen_corner_color();
    void draw_bound_rect();
    void erase_bound_rect();
    void update_bound_rect();
    void xor_bound_figure();
    void show_position();
    // The footing left no rows of the overlay picture.
    bool no_overlay_rows() const;
    // The overlay's offset in picture pixels: as handed in until the user
    // moves it, then read from the preview.
    QPoint overlay_offset() const;
    void show_error();
    void show_transparent_color();
    void build_controls();

    TLocateForm* locate_form_ = nullptr;
    TXOverlayForm* xoverlay_form_ = nullptr;

    // The main preview with the water line and the bound rectangle XORed in,
    // in the screen's own pixels: on a scaling screen it holds more pixels
    // than Image1 covers, and Image1 shows them one to one.
    velmora::Bitmap image1_bitmap_;
    // A painter on the main preview that draws in Image1's coordinates.
    QImage preview_canvas();
    long double preview_scale_ = 1;
    int water_line_y_ = 0;
    bool xor_pen_ = false; // Image1's pen draws XOR after the first build

    // What the previews were last built from.
    std::string last_main_;
    int last_shift_ = 0;
    int last_percent_ = 0;
    int last_brightness_ = 0;
    bool last_use_bottom_ = false;
    std::string last_overlay_;
    int last_footing_ = 0;
    bool overlay_mirrored_ = false; // orientation of shared_overlay_bitmap

    velmora::Color auto_color_ = 0; // bottom-left pixel as shown, at every load
    velmora::Color auto_color_24_ = 0; // and as the picture holds it
    bool built_ = false;
    bool main_error_ = false;
    bool overlay_error_ = false;
    std::string error_text_;
    bool message_shown_ = false;

    bool dragging_ = false;
    QPoint drag_point_;
    bool moved_ = false; // the overlay was moved during this opening
    bool bound_drawn_ = false;
    bool ShowBound = true;
    bool flip_handler_attached_ = true;
    bool first_show_ = true;
    std::optional<velmora::Color> probe_pixel_;

    int main_loads_ = 0;
    int overlay_loads_ = 0;
};
