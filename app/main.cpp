// velmora: the screen saver's program body. The command line chooses one mode
// per process: change the saver password, draw the preview into a host
// window, show the configuration dialogs, or run the saver, full screen or
// inside the window of a screen-saver host of the X desktop.

#include "app/application.h"
#include "app/command_line.h"
#include "app/first_start.h"
#include "app/preview.h"
#include "dialogs/about_box.h"
#include "dialogs/locate_form.h"
#include "dialogs/overlay_form.h"
#include "dialogs/setup_form.h"
#include "dialogs/xoverlay_form.h"
#include "display/main_form.h"
#include "picture/qt/platform_codecs.h"
#include "platform/info_box.h"
#include "platform/instance_guard.h"
#include "platform/password_dialogs.h"
#include "platform/termination_signals.h"
#include "platform/window_state_requests.h"
#include "platform/window_system.h"
#include "platform/x11_window.h"

#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace velmora;

// Opens the password dialog over the window the host named, or on its own
// where there is no such window (in a Wayland session nothing can be named).
// Ends quietly whatever happens: the host expects no answer and no messages.
int change_password(int& argc, char** argv, const std::string& window)
{
    try {
        const std::unique_ptr<X11Connection> x = X11Connection::open();
        if (!x && !session_displays().wayland)
            return 0;
        const std::optional<std::uint32_t> id = parse_window_id(window);
        const bool over_host = x && id && window_state(*x, *id) != WindowState::gone;
        choose_qt_platform(over_host);
        Application app(argc, argv);
        std::unique_ptr<QWindow> host;
        if (over_host)
            host.reset(QWindow::fromWinId(*id));
        PasswordChangeDialog dialog;
        if (host) {
            dialog.winId();
            dialog.windowHandle()->setTransientParent(host.get());
        }
        dialog.exec();
        end_now_on_wayland(0);
    } catch (...) {
    }
    return 0;
}

// Runs the saver inside a host's window until the host ends it with SIGTERM
// (or SIGINT) or destroys the window; both are an orderly end. SIGUSR1 starts
// the animation again. The host runs one copy per monitor, so there is no
// instance guard, and it owns input and the password. Without a window to draw into the run fails
// at once. Setting overrides of the command line apply to this run only.
int run_hosted(int& argc, char** argv, const StartRequest& request)
{
    // Until the loop takes it, a restart request must not end the run.
    std::signal(SIGUSR1, SIG_IGN);
    const std::unique_ptr<X11Connection> x = X11Connection::open();
    if (!x) {
        std::cerr << x11_needed_message("drawing into a host's window (--root, --window-id, "
                                        "XSCREENSAVER_WINDOW)")
                  << "\n";
        return 1;
    }
    const std::optional<std::uint32_t> id
        = request.host == Host::root ? x->root_window() : request.host_window;
    // Qt reports a foreign window's size as 0 x 0; the server knows it.
    const std::optional<WindowSize> size = id ? window_size(*x, *id) : std::nullopt;
    if (!size) {
        std::cerr << "velmora: no window to draw into\n";
        return 1;
    }

    drop_window_state_requests(*x);
    choose_qt_platform(true);
    Application app(argc, argv);
    install_info_box();
    register_platform_codecs();
    TerminationSignals termination;
    const std::unique_ptr<QWindow> host(QWindow::fromWinId(*id));
    TMainForm form;
    TAboutBox about;
    about.setAttribute(Qt::WA_QuitOnClose, false);
    form.set_hosted(QSize(size->width, size->height));
    form.set_overrides(request.overrides);
    form.winId();
    form.windowHandle()->setParent(host.get());

    const auto end = [&form] {
        form.request_close();
        QCoreApplication::quit();
    };
    QObject::connect(&termination, &TerminationSignals::received, &form, end);
    QObject::connect(
        &termination, &TerminationSignals::restart_requested, &form, &TMainForm::restart_animation);
    QTimer watch;
    // The host may resize its window (a settings window's preview does):
    // the scene follows.
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        const std::optional<WindowSize> now = window_size(*x, *id);
        if (!now || window_state(*x, *id) == WindowState::gone)
            end();
        else
            form.set_host_size(QSize(now->width, now->height));
    });
    watch.start(200);
    form.show();
    QApplication::exec();
    return 0;
}

// The saver's own run covers every monitor.
void cover_every_monitor(QWidget& main_form)
{
    static_cast<TMainForm&>(main_form).cover_every_monitor();
}

// Forms of the application, in creation order; they live until the program
// ends. Only the first one, the mode's main window, ends the program when
// it closes.
class Forms {
public:
    template <typename Form> Form& add()
    {
        auto form = std::make_unique<Form>();
        Form& added = *form;
        if (!forms_.empty())
            form->setAttribute(Qt::WA_QuitOnClose, false);
        forms_.push_back(std::move(form));
        return added;
    }
    QWidget& main() { return *forms_.front(); }

    // Last created, first destroyed.
    ~Forms()
    {
        while (!forms_.empty())
            forms_.pop_back();
    }

private:
    std::vector<std::unique_ptr<QWidget>> forms_;
};

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> parameters(argv + std::min(argc, 1), argv + argc);
    const char* host_variable = std::getenv("XSCREENSAVER_WINDOW");
    const StartRequest request = parse_command_line(parameters, host_variable ? host_variable : "");
    run_mode = request.mode;
    if (run_mode == kChangePassword)
        return change_password(argc, argv, request.window);
    if (run_mode != kPreview)
        provide_first_settings(demo_scene_folder());
    if (request.host != Host::none)
        return run_hosted(argc, argv, request);

    InstanceGuard guard;
    if (guard.state() == InstanceGuard::State::busy)
        return 0;

    std::unique_ptr<X11Connection> x;
    std::optional<std::uint32_t> host;
    if (run_mode == kPreview) {
        // Without a host window there is nothing to draw into.
        host = parse_window_id(request.window);
        if (!host)
            return 0;
        x = X11Connection::open();
        if (!x) {
            std::cerr << x11_needed_message("the preview (/p)") << "\n";
            return 1;
        }
    }

    // The preview draws into another program's X11 window; the saver and the
    // dialogs use the session's own display system.
    choose_qt_platform(run_mode == kPreview);
    Application app(argc, argv);
    install_info_box();
    // Every window of the program may load pictures in any supported format.
    register_platform_codecs();

    if (run_mode == kPreview) {
        run_preview(*x, *host);
        return 0;
    }

    Forms forms;
    if (run_mode == kConfigure) {
        // The setup dialog is the main window; the dialogs it opens are
        // created once and serve every opening.
        QApplication::setApplicationName(QStringLiteral("Velmora"));
        TSetupForm& setup = forms.add<TSetupForm>();
        TOverlayForm& overlay = forms.add<TOverlayForm>();
        TXOverlayForm& picker = forms.add<TXOverlayForm>();
        TLocateForm& locate = forms.add<TLocateForm>();
        overlay.set_locate_form(&locate);
        overlay.set_xoverlay_form(&picker);
        setup.use_dialogs(&locate, &overlay, &forms.add<TAboutBox>());
    } else {
        forms.add<TMainForm>();
        cover_every_monitor(forms.main());
        forms.add<TAboutBox>();
    }
    forms.main().show();
    const int status = QApplication::exec();
    end_now_on_wayland(status);
    return status;
}
