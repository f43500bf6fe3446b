/* Waits for a saver's first frame on an X server: polls a block at the
 * centre of the root window (where the picture is shown, on black) until
 * most of it is lit, then prints CLOCK_MONOTONIC in seconds. bench/run starts
 * the saver, notes the clock, and takes the difference: the start-up to the
 * first frame, with the program's own loading, settings, picture and scene.
 *
 *   velmora_first_frame TIMEOUT_SECONDS */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <xcb/xcb.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv)
{
    const double give_up = now() + (argc > 1 ? atof(argv[1]) : 30.0);
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c))
        return 1;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const int side = 32;
    const int x = screen->width_in_pixels / 2 - side / 2;
    const int y = screen->height_in_pixels / 2 - side / 2;
    while (now() < give_up) {
        xcb_get_image_reply_t* image = xcb_get_image_reply(c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, (int16_t)x, (int16_t)y,
                side, side, ~0u),
            NULL);
        int lit = 0;
        if (image) {
            const unsigned char* p = xcb_get_image_data(image);
            const int bytes = xcb_get_image_data_length(image);
            for (int k = 0; k + 3 < bytes; k += 4)
                lit += (p[k] | p[k + 1] | p[k + 2]) != 0;
            free(image);
        }
        if (lit * 4 > side * side * 3) {
            printf("%.6f\n", now());
            xcb_disconnect(c);
            return 0;
        }
        struct timespec pause = { 0, 500000 };
        nanosleep(&pause, NULL);
    }
    xcb_disconnect(c);
    return 2;
}
