/* What the frugality benchmark asks of the X server, for any program alike:
 *
 *   tellavo_xwatch startup [--any] TIMEOUT_MS -- COMMAND [ARGS...]
 *       Starts COMMAND and prints the milliseconds from its exec to the map of
 *       its first window, and that window's id; then ends COMMAND. A window is
 *       COMMAND's when its _NET_WM_PID is COMMAND's pid; with --any, a
 *       top-level window without _NET_WM_PID counts too (for clients that do
 *       not set it). Prints "exited <status>" (exit 2) when COMMAND ends
 *       before, "timeout" (exit 3) when nothing is mapped in time.
 *
 *   tellavo_xwatch damage SECONDS WINDOW...
 *       Counts how often the windows' contents are drawn over SECONDS and
 *       prints "<repaints> <damage events>". Events closer than kBurstMs to
 *       the previous one belong to the same repaint (one flush can be several
 *       requests).
 *
 * The DAMAGE extension sees every drawing request that reaches a window,
 * whatever toolkit made it, so the same count holds for every program and
 * needs nothing compiled into any of them. */
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

enum { kBurstMs = 30 };

static double now_ms()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

[[noreturn]] static void usage()
{
    fprintf(stderr,
            "usage: tellavo_xwatch startup [--any] TIMEOUT_MS -- COMMAND [ARGS...]\n"
            "       tellavo_xwatch damage SECONDS WINDOW...\n");
    exit(64);
}

static xcb_connection_t* connect_or_die(xcb_screen_t** screen)
{
    int n = 0;
    xcb_connection_t* c = xcb_connect(NULL, &n);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "tellavo_xwatch: cannot open display\n");
        exit(1);
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (; n > 0; --n)
        xcb_screen_next(&it);
    *screen = it.data;
    return c;
}

static xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

/* The window's _NET_WM_PID, 0 when it has none, -1 when it is gone. */
static long window_pid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pid_atom)
{
    xcb_generic_error_t* e = NULL;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, pid_atom, XCB_ATOM_CARDINAL, 0, 1), &e);
    long pid = 0;
    if (e)
        pid = -1;
    else if (r && xcb_get_property_value_length(r) == 4)
        pid = *(uint32_t*)xcb_get_property_value(r);
    free(e);
    free(r);
    return pid;
}

static int run_startup(int argc, char** argv)
{
    int any = 0;
    int i = 0;
    if (i < argc && strcmp(argv[i], "--any") == 0) {
        any = 1;
        ++i;
    }
    if (i + 2 >= argc || strcmp(argv[i + 1], "--") != 0)
        usage();
    const double timeout = atof(argv[i]);
    char** command = argv + i + 2;

    xcb_screen_t* screen = NULL;
    xcb_connection_t* c = connect_or_die(&screen);
    const xcb_atom_t pid_atom = atom(c, "_NET_WM_PID");
    const uint32_t root_mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &root_mask);
    xcb_flush(c);

    const double start = now_ms();
    const pid_t child = fork();
    if (child < 0) {
        perror("fork");
        return 1;
    }
    if (child == 0) {
        close(xcb_get_file_descriptor(c));
        execvp(command[0], command);
        fprintf(stderr, "tellavo_xwatch: cannot run %s: %s\n", command[0], strerror(errno));
        _exit(127);
    }

    int result = 3;
    const int fd = xcb_get_file_descriptor(c);
    while (result == 3) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            printf("exited %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
            return 2;
        }
        const double left = start + timeout - now_ms();
        if (left <= 0)
            break;
        struct pollfd p = {fd, POLLIN, 0};
        /* Short slices: the child's end is noticed by waitpid, not by X. */
        poll(&p, 1, left < 20 ? (int)left + 1 : 20);
        xcb_generic_event_t* ev;
        while (result == 3 && (ev = xcb_poll_for_event(c))) {
            const uint8_t type = ev->response_type & 0x7f;
            xcb_window_t mapped = XCB_NONE;
            int top_level = 0;
            if (type == XCB_CREATE_NOTIFY) {
                const xcb_create_notify_event_t* cn = (const xcb_create_notify_event_t*)ev;
                /* Watch it, and its own children; it may be mapped already. */
                const uint32_t mask =
                    XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
                xcb_change_window_attributes(c, cn->window, XCB_CW_EVENT_MASK, &mask);
                xcb_get_window_attributes_reply_t* a = xcb_get_window_attributes_reply(
                    c, xcb_get_window_attributes(c, cn->window), NULL);
                if (a && a->map_state != XCB_MAP_STATE_UNMAPPED) {
                    mapped = cn->window;
                    top_level = cn->parent == screen->root;
                }
                free(a);
            } else if (type == XCB_MAP_NOTIFY) {
                const xcb_map_notify_event_t* mn = (const xcb_map_notify_event_t*)ev;
                /* Reported to the window itself and to its parent: take one. */
                if (mn->event == mn->window) {
                    mapped = mn->window;
                    xcb_query_tree_reply_t* t =
                        xcb_query_tree_reply(c, xcb_query_tree(c, mapped), NULL);
                    top_level = t && t->parent == screen->root;
                    free(t);
                }
            }
            if (mapped != XCB_NONE) {
                const double at = now_ms();
                const long pid = window_pid(c, mapped, pid_atom);
                if (pid == child || (any && pid == 0 && top_level)) {
                    printf("%.1f 0x%x\n", at - start, mapped);
                    result = 0;
                }
            }
            free(ev);
        }
        if (xcb_connection_has_error(c)) {
            fprintf(stderr, "tellavo_xwatch: lost the display\n");
            result = 1;
        }
    }
    if (result == 3)
        printf("timeout\n");
    fflush(stdout);

    kill(child, SIGTERM);
    for (int n = 0; n < 100; ++n) {
        if (waitpid(child, NULL, WNOHANG) == child)
            return result;
        usleep(20000);
    }
    kill(child, SIGKILL);
    waitpid(child, NULL, 0);
    return result;
}

static int run_damage(int argc, char** argv)
{
    if (argc < 2)
        usage();
    const double seconds = atof(argv[0]);
    xcb_screen_t* screen = NULL;
    xcb_connection_t* c = connect_or_die(&screen);
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
    if (!ext || !ext->present) {
        fprintf(stderr, "tellavo_xwatch: the X server has no DAMAGE extension\n");
        return 1;
    }
    free(xcb_damage_query_version_reply(
        c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION), NULL));
    for (int i = 1; i < argc; ++i) {
        const xcb_window_t w = (xcb_window_t)strtoul(argv[i], NULL, 0);
        xcb_damage_create(c, xcb_generate_id(c), w, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    }
    /* A new damage object reports the whole window once: let that pass. */
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    while (xcb_generic_event_t* ev = xcb_poll_for_event(c)) {
        if ((ev->response_type & 0x7f) == ext->first_event + XCB_DAMAGE_NOTIFY)
            xcb_damage_subtract(c, ((xcb_damage_notify_event_t*)ev)->damage, XCB_NONE, XCB_NONE);
        free(ev);
    }
    xcb_flush(c);

    long events = 0;
    long repaints = 0;
    double last = -1e9;
    const double end = now_ms() + seconds * 1e3;
    const int fd = xcb_get_file_descriptor(c);
    for (;;) {
        const double left = end - now_ms();
        if (left <= 0)
            break;
        struct pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, (int)left + 1);
        xcb_generic_event_t* ev;
        while ((ev = xcb_poll_for_event(c))) {
            if ((ev->response_type & 0x7f) == ext->first_event + XCB_DAMAGE_NOTIFY) {
                const xcb_damage_notify_event_t* dn = (const xcb_damage_notify_event_t*)ev;
                const double t = now_ms();
                ++events;
                if (t - last > kBurstMs)
                    ++repaints;
                last = t;
                /* Empty again, so that the next drawing is reported. */
                xcb_damage_subtract(c, dn->damage, XCB_NONE, XCB_NONE);
            }
            free(ev);
        }
        xcb_flush(c);
        if (xcb_connection_has_error(c)) {
            fprintf(stderr, "tellavo_xwatch: lost the display\n");
            return 1;
        }
    }
    printf("%ld %ld\n", repaints, events);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        usage();
    if (strcmp(argv[1], "startup") == 0)
        return run_startup(argc - 2, argv + 2);
    if (strcmp(argv[1], "damage") == 0)
        return run_damage(argc - 2, argv + 2);
    usage();
}
