#pragma once

#include "imaging/frame_builder.h"
#include "scene/overlay_setup.h"
#include "scene/scene.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <random>
#include <string>

class BitmapView;
class QLabel;
class QTimer;

// The saver's full-screen window: builds the scene for the current picture,
// animates its reflection, changes pictures in the slide show, and ends on
// mouse or keyboard activity, asking for the saver password in a real run.
//
// Everything runs on the user-interface thread. show_status processes pending
// events, so input and timers are handled in the middle of a build; the
// Closing and FreeAllowed flags keep a close request from freeing what a
// build still uses.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    // Start-up and scene assembly.
    void FormCreate();
    void FormActivate();
    void Build(const std::string& file_name, int water_edge);
    void show_status(const std::string& text);
    int color_depth() const;
    void clear_probe_pixels();

    // Animation, slide show and exit.
    void Timer1Timer();
    void Timer2Timer();
    void FormKeyDown(int key);
    void FormMouseDown();
    void FormMouseMove(int x, int y);
    void request_close();
    void FormClose();

    // Overlay and reflection frames of the scene.
    void overlay_setup();
    // Shows the overlay's bottom-left pixel at the form's top-right pixel and
    // answers the colour the window renders there (nothing when it cannot be
    // read); overlay_setup stores the measured colours into the settings.
    std::optional<velmora::Color> probe_transparent_color(const velmora::Bitmap& overlay);
    void free_overlay_bitmaps();
    void free_reflection_bitmaps();
    void build_reflection_images();
    // Writes the scene on the screen as an animated GIF file (F12).
    void save_images();

    // The lines the status line shows between builds.
    static std::string status_banner();
    static const std::string configure_tip;

    // Makes the form draw inside a screen-saver host's window of the given
    // size instead of covering the screen: the scene is laid out for that
    // size, and input, the password, the screen and the "saver running"
    // state stay the host's. Messages go to the status line, since nobody
    // could answer a message box. Called once, before the form shows.
    void set_hosted(const QSize& host_size);
    bool hosted() const { return host_size_.has_value(); }

    // Replaces the screen's colour depth (tests of the 8-bit display check).
    // An empty function restores the screen's own depth.
    void set_color_depth_source(std::function<int()> source);

    int FramesBuilt() const { return ticking_.count() > 0 ? ticking_.count() : frames_.built; }
    const velmora::Scene& scene() const { return scene_; }
    const velmora::FrameStrip& frames() const { return frames_; }
    const velmora::OverlayState& overlay() const { return overlay_; }

    // Form state.
    int FrameCount = 0;
    int LastMouseX = -1;
    int LastMouseY = -1;
    std::string CurrentFileName;
    int CurrentImageIndex = 1;
    bool BuildFailed = false;
    bool Closing = false;
    long double ScaleFactor = 0;
    int SlideDirection = 1;
    bool FreeAllowed = true;
    bool FirstActivation = true;
    bool OverlayFailed = false;
    int CurrentFrame = 1;
    int MouseSkipCount = 0;
    // True while the frames are written to a GIF file: input must not free
    // or rebuild what the export reads, so a close request waits for its end.
    bool Exporting = false;

    QLabel* StatusLab = nullptr;
    QWidget* Panel1 = nullptr;
    BitmapView* Image1 = nullptr;
    BitmapView* Image2 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    velmora::SceneHooks hooks();
    // Shows a message with the pointer and keyboard free, so the message box
    // can be answered while the saver holds the screen.
    void inform(const std::string& text);
    void take_input();
    void release_input();
    void cover_screen();
    // The screen's geometry, or the host window's area in a hosted run.
    QRect covered_area() const;
    void show_random_line();

    velmora::Scene scene_; // Image1's and Image2's bitmaps
    velmora::OverlayState overlay_; // OverlayBitmap, OverlayReflectionBitmap
    velmora::FrameStrip frames_; // frame_strip, frame_bitmap, FramesBuilt
    // A reflection area too large for a strip gets its frames made per tick.
    velmora::FrameSequence ticking_;
    bool show_frame(int k);
    QSize device_pixels(QSize logical) const;
    QRect logical_pixels(QRect device) const;
    std::optional<velmora::Color> probe_pixel_;
    std::function<int()> depth_source_;
    std::optional<QSize> host_size_;
    bool input_taken_ = false;
    bool close_after_export_ = false;
    std::mt19937 random_ { std::random_device {}() };
};
