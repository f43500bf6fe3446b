#pragma once

#include "imaging/frame_builder.h"
#include "scene/overlay_setup.h"
#include "scene/scene.h"
#include "settings/setting_overrides.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

class BitmapView;
class QLabel;
class QScreen;
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
    // Starts the reflection's cycle again from its first frame, as a host
    // asks when its own window has covered the saver's for a while (a
    // screen locker's password prompt). The scene stays as it is built.
    void restart_animation();

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
    // The host resized its window: the scene is built again for the new
    // size (at the end of a build under way, when there is one).
    void set_host_size(const QSize& host_size);
    // Settings given on the command line, applied on top of the settings
    // file each time it is read, in memory only.
    void set_overrides(const velmora::SettingOverrides& overrides) { overrides_ = overrides; }

    // Makes the saver cover every monitor: this form the primary one, and
    // one more form for each other monitor, showing the same picture laid
    // out for that monitor's size. The other forms build nothing on their
    // own (a scene is built once per distinct monitor size), hand all input
    // to this form, and close with it, so the password is asked once. With
    // one monitor nothing changes. Called once, before the form shows, in
    // the saver's own full-screen run.
    void cover_every_monitor();
    // The forms of the other monitors.
    const std::vector<std::unique_ptr<TMainForm>>& monitor_forms() const { return followers_; }

    // Replaces the screen's colour depth (tests of the 8-bit display check).
    // An empty function restores the screen's own depth.
    void set_color_depth_source(std::function<int()> source);

    int FramesBuilt() const { return ticking_.count() > 0 ? ticking_.count() : frames_.built; }
    // The scene as shown, Image2's bitmap holding the frame on show.
    const velmora::Scene& scene() const;
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
    void build_once(const std::string& file_name, int water_edge);
    // Takes the finished scene of another monitor's form of the same size
    // for the same picture, instead of building it again. False when there
    // is none.
    bool adopt_scene(const std::string& file_name, int water_edge);
    void lay_out_scene();
    void finish_scene();
    // The other monitors show the picture this form has just built.
    void build_other_monitors(const std::string& file_name, int water_edge);
    void animate_other_monitors();
    // Builds the shown picture again for a changed window size and starts
    // its animation as the first build does.
    void rebuild();

    velmora::Scene scene_; // Image1's and Image2's bitmaps
    velmora::OverlayState overlay_; // OverlayBitmap, OverlayReflectionBitmap
    velmora::FrameStrip frames_; // frame_strip, frame_bitmap, FramesBuilt
    // A reflection area too large for a strip gets its frames made per tick.
    velmora::FrameSequence ticking_;
    bool show_frame(int k);
    bool frame_into_area(int k);
    // Image2 paints the frame on show straight from where it is held (the
    // strip, or the rows a frame made per tick is made of); the area's own
    // pixels follow only when the scene is read: the frame they are behind,
    // 0 when they are up to date.
    int area_behind_ = 0;
    // Image2 shows the area's own pixels, brought up to date, again: before
    // what the shown rows point into is replaced or freed.
    void show_area();
    QSize device_pixels(QSize logical) const;
    QRect logical_pixels(QRect device) const;
    std::optional<velmora::Color> probe_pixel_;
    std::function<int()> depth_source_;
    std::optional<QSize> host_size_;
    velmora::SettingOverrides overrides_;
    // A hosted run's viewing size as the settings ask for it; each build
    // takes the largest one up to it that fits the host's window.
    int wanted_res_code_ = 0;
    int current_water_edge_ = 0;
    bool building_ = false;
    bool size_changed_ = false; // while building: build again when done
    // Several monitors: the monitor this form covers; the form that owns
    // input, the password and the slide show (for the forms of the other
    // monitors); the forms of the other monitors (for that form).
    QScreen* screen_ = nullptr;
    TMainForm* leader_ = nullptr;
    std::vector<std::unique_ptr<TMainForm>> followers_;
    // What the shown scene was built for, when it was built to its end.
    struct BuiltFor {
        std::string file_name;
        int water_edge = 0;
        QSize size;
    };
    std::optional<BuiltFor> built_for_;
    bool input_taken_ = false;
    bool close_after_export_ = false;
    std::mt19937 random_ { std::random_device {}() };
};
