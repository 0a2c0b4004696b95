// A client of its own on the X server: tries to grab the pointer as a screen locker does and
// prints what the server said ("grab 0" success, "grab 1" already grabbed by another client).
// Exit code: the grab status, 100 when the server cannot be reached.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

int main() {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (connection == nullptr || xcb_connection_has_error(connection) != 0) {
        std::printf("no X server\n");
        return 100;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
        connection,
        xcb_grab_pointer(connection, 0, root, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
                         XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    if (reply == nullptr) {
        std::printf("no reply\n");
        xcb_disconnect(connection);
        return 100;
    }
    const int status = reply->status;
    std::free(reply);
    xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
    xcb_flush(connection);
    std::printf("grab %d\n", status);
    xcb_disconnect(connection);
    return status;
}
