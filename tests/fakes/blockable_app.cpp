// A small X11 application for the blocker's tests: one window with the WM_CLASS given by
// --class, _NET_WM_PID and WM_DELETE_WINDOW, which asks the window manager to make it active.
// Prints "ready", then "active" when it became the active window and "close-request <ms>"
// (milliseconds since it became active) for each close request; quits on the first one unless
// --ignore-close. Without an X server it just runs until a signal ends it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {
xcb_atom_t intern(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return atom;
}
using Clock = std::chrono::steady_clock;
} // namespace

int main(int argc, char **argv)
{
    std::string wmClass = "nimbrel-blockable";
    bool ignoreClose = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--class") && i + 1 < argc)
            wmClass = argv[++i];
        else if (!strcmp(argv[i], "--ignore-close"))
            ignoreClose = true;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        printf("ready\n");
        for (;;)
            pause();
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_screen_t *screen = it.data;

    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200, 120, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const std::string classValue = wmClass + '\0' + wmClass + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(classValue.size()), classValue.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(wmClass.size()), wmClass.data());
    const uint32_t pid = uint32_t(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, intern(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    const xcb_atom_t protocols = intern(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = intern(c, "WM_DELETE_WINDOW");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
    const uint32_t rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_map_window(c, window);
    xcb_flush(c);

    const xcb_atom_t activeAtom = intern(c, "_NET_ACTIVE_WINDOW");
    auto askActive = [&] {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = activeAtom;
        message.data.data32[0] = 2; // as a pager would, so focus-stealing rules let it through
        xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(c);
    };
    printf("ready\n");
    Clock::time_point activeSince = Clock::now();
    bool active = false;
    while (xcb_generic_event_t *event = xcb_wait_for_event(c)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY) {
            askActive();
        } else if (type == XCB_PROPERTY_NOTIFY
                   && reinterpret_cast<xcb_property_notify_event_t *>(event)->atom == activeAtom && !active) {
            xcb_get_property_reply_t *r = xcb_get_property_reply(
                c, xcb_get_property(c, 0, screen->root, activeAtom, XCB_ATOM_WINDOW, 0, 1), nullptr);
            if (r && xcb_get_property_value_length(r) == 4
                && *static_cast<xcb_window_t *>(xcb_get_property_value(r)) == window) {
                active = true;
                activeSince = Clock::now();
                printf("active\n");
            }
            free(r);
        } else if (type == XCB_CLIENT_MESSAGE) {
            auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
            if (message->type == protocols && message->data.data32[0] == deleteWindow) {
                const auto ms = std::chrono::duration<double, std::milli>(Clock::now() - activeSince).count();
                printf("close-request %.2f\n", ms);
                if (!ignoreClose) {
                    free(event);
                    break;
                }
            }
        }
        free(event);
    }
    xcb_disconnect(c);
    return 0;
}
