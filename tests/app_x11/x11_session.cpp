#include "x11_session.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> own(T* reply)
{
    return { reply, &std::free };
}

pid_t spawn(const std::vector<std::string>& arguments, int keep_fd, const std::string& error_file)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        const int err = error_file.empty()
            ? null
            : open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, 2);
        for (int fd = 3; fd < 256; ++fd) {
            if (fd != keep_fd)
                close(fd);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        throw std::runtime_error("fork failed");
    return pid;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto reply = own(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

bool wait_until(std::chrono::milliseconds timeout, const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
}

X11Session::X11Session()
{
    char runtime[] = "/tmp/velmora-x11-test-XXXXXX";
    if (!mkdtemp(runtime))
        throw std::runtime_error("no temporary folder");
    runtime_dir_ = runtime;
    setenv("XDG_RUNTIME_DIR", runtime, 1);

    // The server picks a free display itself and tells us which.
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0)
        throw std::runtime_error("pipe failed");
    server_ = spawn({ "Xvfb", "-displayfd", std::to_string(pipe_fds[1]), "-screen", "0",
                        "800x600x24", "-nolisten", "tcp" },
        pipe_fds[1], "");
    close(pipe_fds[1]);
    std::string number;
    pollfd ready { pipe_fds[0], POLLIN, 0 };
    while (number.find('\n') == std::string::npos && poll(&ready, 1, 20000) > 0) {
        char buffer[16];
        const ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe_fds[0]);
    if (number.find('\n') == std::string::npos)
        throw std::runtime_error("Xvfb did not start");
    number.pop_back();
    setenv("DISPLAY", (":" + number).c_str(), 1);

    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_))
        throw std::runtime_error("cannot connect to Xvfb");
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
}

X11Session::~X11Session()
{
    if (connection_)
        xcb_disconnect(connection_);
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        waitpid(server_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime_dir_, ignored);
}

xcb_window_t X11Session::create_window(int x, int y, int width, int height)
{
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t values[] = { screen_->black_pixel };
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen_->root,
        static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
        static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL, values);
    map(window);
    return window;
}

void X11Session::map(xcb_window_t window)
{
    xcb_map_window(connection_, window);
    clear(window);
}

void X11Session::unmap(xcb_window_t window)
{
    xcb_unmap_window(connection_, window);
    xcb_flush(connection_);
}

void X11Session::destroy(xcb_window_t window)
{
    xcb_destroy_window(connection_, window);
    xcb_flush(connection_);
}

void X11Session::clear(xcb_window_t window)
{
    xcb_clear_area(connection_, 0, window, 0, 0, 0, 0);
    free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

velmora::Bitmap X11Session::read_pixels(xcb_window_t window, int x, int y, int width, int height)
{
    auto reply = own(xcb_get_image_reply(connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<std::int16_t>(x),
            static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(height), ~0u),
        nullptr));
    if (!reply)
        throw std::runtime_error("cannot read the window's pixels");
    // Xvfb's 24-bit screen: 32 bits per pixel, blue in the lowest byte.
    const std::uint8_t* data = xcb_get_image_data(reply.get());
    velmora::Bitmap bitmap(width, height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const std::uint8_t* p = data + (row * width + column) * 4;
            bitmap.set_pixel(column, row, velmora::make_color(p[2], p[1], p[0]));
        }
    }
    return bitmap;
}

std::optional<xcb_window_t> X11Session::find_window(const std::string& title)
{
    const xcb_atom_t net_wm_name = atom(connection_, "_NET_WM_NAME");
    auto tree = own(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, screen_->root), nullptr));
    if (!tree)
        return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        auto attributes = own(xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        for (const xcb_atom_t property : { net_wm_name, xcb_atom_t(XCB_ATOM_WM_NAME) }) {
            auto name = own(xcb_get_property_reply(connection_,
                xcb_get_property(
                    connection_, 0, children[i], property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                nullptr));
            if (name
                && std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(name.get())))
                    == title)
                return children[i];
        }
    }
    return std::nullopt;
}

void X11Session::send_close(xcb_window_t window)
{
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(connection_, "WM_PROTOCOLS");
    event.data.data32[0] = atom(connection_, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(
        connection_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(connection_);
}

Child::Child(const std::vector<std::string>& arguments)
{
    char name[] = "/tmp/velmora-child-stderr-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    error_file_ = name;
    pid_ = spawn(arguments, -1, error_file_);
}

Child::~Child()
{
    if (!status_)
        kill_now();
    unlink(error_file_.c_str());
}

std::optional<int> Child::wait_for_exit(std::chrono::milliseconds timeout)
{
    wait_until(timeout, [this] { return !running(); });
    return status_;
}

bool Child::running()
{
    if (status_)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_)
        return true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

void Child::kill_now()
{
    if (!running())
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = -1;
}

std::string Child::error_output() const
{
    std::ifstream in(error_file_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> velmora_command(const std::vector<std::string>& parameters)
{
    std::vector<std::string> command { VELMORA_BINARY_DIR "/velmora" };
    command.insert(command.end(), parameters.begin(), parameters.end());
    return command;
}
