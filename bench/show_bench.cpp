// The saver while it shows: the display form with a real window on an X
// server (bench/run starts an Xvfb for it), the large viewing size (or
// another, ImageResCode) and a 50 ms animation interval. For 20 seconds it
// counts the reflection area's paints (frames actually shown) and the
// processor time the process takes, and compares the resident memory while
// showing with the process before the scene was built. With Fit Screen (3)
// the lines name the screen's size and say whether the reflection frames are
// held in a strip or made per tick, and the process's peak memory is added.
//
//   velmora_show_bench PICTURE [SECONDS [RESCODE [TARGET]]]
//
// TARGET is the processor use asked for, in per cent of one core (2 when
// not given).
//
// Prints "SHOW|figure|ours|reference|ratio|target|met?" lines for bench/run.

#include "display/main_form.h"
#include "platform/run_mode.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScreen>
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

constexpr int kDelayMs = 50;

// Counts paint events that reach the reflection area (Image2).
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("Image2"))
            ++paints;
        return false;
    }
};

double cpu_seconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// VmRSS (now) or VmHWM (the peak so far) of this process, in bytes.
long long resident_bytes(const char* field = "VmRSS:")
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kib = 0;
    while (status >> key)
        if (key == field && status >> kib)
            return kib * 1024;
    return 0;
}

double mib(double bytes)
{
    return bytes / 1048576.0;
}

void line(const std::string& figure, const std::string& ours, const std::string& reference,
    const std::string& ratio, const std::string& target, const char* met)
{
    std::printf("SHOW|%s|%s|%s|%s|%s|%s\n", figure.c_str(), ours.c_str(), reference.c_str(),
        ratio.c_str(), target.c_str(), met);
}

const char* verdict(bool met)
{
    return met ? "yes" : "**no**";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora_show_bench PICTURE [SECONDS [RESCODE [TARGET]]]\n");
        return 2;
    }
    const std::string picture = argv[1];
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const int res_code = argc > 3 ? std::atoi(argv[3]) : 2;
    const double cpu_target = argc > 4 ? std::atof(argv[4]) : 2.0;
    QApplication app(argc, argv);
    velmora::run_mode = velmora::kConfigure; // a test run: no password, no INI file
    velmora::Settings& s = velmora::settings();
    s = velmora::default_settings();
    s.SelectedImageIndex = -1;
    s.TestRun = true;
    s.ImageFileName = picture;
    s.ImageResCode = res_code;
    s.DelayTimeMS = kDelayMs;
    s.NumberOfReflectedImages = 15;
    s.MultipleMode = false;
    s.Overlay = false;

    // The floor: the process with Qt started and the form made, before its
    // window is shown (showing it builds the scene on its first activation).
    auto form = std::make_unique<TMainForm>();
    const long long floor = resident_bytes();
    // Where growth goes: our own memory (anonymous), library code and fonts
    // first touched (file pages, shared with other programs), the window's
    // backing store shared with the X server.
    const long long floor_anon = resident_bytes("RssAnon:");
    const long long floor_file = resident_bytes("RssFile:");
    const long long floor_shared = resident_bytes("RssShmem:");
    form->show();
    QCoreApplication::processEvents();
    if (form->FirstActivation)
        form->FormActivate();
    if (form->BuildFailed || form->FramesBuilt() == 0) {
        std::fprintf(stderr, "velmora_show_bench: the scene was not built\n");
        return 1;
    }
    // Let the first frames settle, then measure.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    PaintCounter counter;
    app.installEventFilter(&counter);
    const double cpu_start = cpu_seconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const double cpu = cpu_seconds() - cpu_start;
    const long long showing = resident_bytes();
    const double grown_anon = static_cast<double>(resident_bytes("RssAnon:") - floor_anon);
    const double grown_file = static_cast<double>(resident_bytes("RssFile:") - floor_file);
    const double grown_shared = static_cast<double>(resident_bytes("RssShmem:") - floor_shared);
    app.removeEventFilter(&counter);

    const double cpu_percent = 100.0 * cpu / elapsed;
    const double fps = counter.paints / elapsed;
    const double wanted = 1000.0 / kDelayMs;
    const velmora::Bitmap& pic = form->scene().picture;
    const velmora::Bitmap& area = form->scene().area;
    const velmora::Bitmap& strip = form->frames().strip;
    const bool per_tick = form->frames().built == 0;
    const auto bytes
        = [](const velmora::Bitmap& b) { return static_cast<double>(b.stride()) * b.height(); };
    // Per tick there is no strip: the scene holds the picture and the area.
    const double held = bytes(pic) + (per_tick ? bytes(area) : bytes(strip));
    const double grown = static_cast<double>(showing - floor);
    std::string where;
    if (res_code == 3) {
        const QSize screen = form->screen()->geometry().size() * form->devicePixelRatioF();
        where = " (Fit Screen, " + std::to_string(screen.width()) + "x"
            + std::to_string(screen.height()) + " screen, " + std::to_string(area.width()) + "x"
            + std::to_string(area.height()) + " area, "
            + (per_tick ? "frames made per tick)" : "frames in a strip)");
    }
    const std::string held_name = per_tick ? "picture + area" : "picture + strip";
    char a[192], b[96], r[64];
    std::snprintf(a, sizeof a, "%.2f %% of one core", cpu_percent);
    std::snprintf(b, sizeof b, "%.0f s shown", elapsed);
    std::snprintf(r, sizeof r, "<= %.1f %%", cpu_target);
    line("processor use while showing (Xvfb, 50 ms)" + where, a, b, "", r,
        verdict(cpu_percent <= cpu_target));
    std::snprintf(a, sizeof a, "%.2f frames/s", fps);
    std::snprintf(b, sizeof b, "%.0f frames/s wanted", wanted);
    std::snprintf(r, sizeof r, "%.3f", fps / wanted);
    line("frames shown per second" + where, a, b, r, ">= 0.95", verdict(fps / wanted >= 0.95));

    std::snprintf(a, sizeof a,
        "%.1f MiB above the form before showing (own %.1f, library and font files %.1f, shared "
        "with the X server %.1f)",
        mib(grown), mib(grown_anon), mib(grown_file), mib(grown_shared));
    std::snprintf(b, sizeof b, "%s %.1f MiB", held_name.c_str(), mib(held));
    std::snprintf(r, sizeof r, "%.2f", grown / held);
    line("steady memory while showing (window included)" + where, a, b, r, "<= 1.5",
        verdict(grown / held <= 1.5));
    if (res_code == 3) {
        // The peak comes while the picture is decoded, before it is fitted.
        const long long peak = resident_bytes("VmHWM:");
        std::snprintf(a, sizeof a, "%.1f MiB peak resident, %.1f MiB above the form", mib(peak),
            mib(static_cast<double>(peak - floor)));
        std::snprintf(b, sizeof b, "%s %.1f MiB", held_name.c_str(), mib(held));
        line("peak memory" + where, a, b, "", "report", "(report)");
    }
    std::fflush(stdout);
    form->Closing = true;
    form.reset();
    return 0;
}
