// x11-close-window NAME [TIMEOUT_MS]: waits for a window named NAME to show on the display and
// sends it the window manager's delete request (WM_PROTOCOLS / WM_DELETE_WINDOW), again each
// second while it stays. Exit status 0 when the request was sent, 1 when no such window showed
// in time, 2 without a display.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool HasName(Display* display, Window window, const char* name) {
    bool match = false;
    char* plain = nullptr;
    if (XFetchName(display, window, &plain) && plain != nullptr) {
        match = std::strcmp(plain, name) == 0;
        XFree(plain);
    }
    if (match) return true;
    Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        match = std::string(reinterpret_cast<char*>(data), count) == name;
        XFree(data);
    }
    return match;
}

Window FindWindow(Display* display, Window parent, const char* name) {
    Window root, parentOut, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOut, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (HasName(display, children[i], name)) found = children[i];
        else found = FindWindow(display, children[i], name);
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s NAME [TIMEOUT_MS]\n", argv[0]);
        return 2;
    }
    int timeout = argc > 2 ? std::atoi(argv[2]) : 10000;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11-close-window: no display\n");
        return 2;
    }
    // A window may vanish while the tree is walked (the desktop's short-lived windows): its
    // errors are ignored and the search goes on.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Window window = 0;
    // Like a close box, the request is made once the window shows on the screen.
    for (int waited = 0; window == 0 && waited <= timeout; waited += 50) {
        window = FindWindow(display, DefaultRootWindow(display), argv[1]);
        XWindowAttributes attributes;
        if (window != 0 && (!XGetWindowAttributes(display, window, &attributes) ||
                            attributes.map_state != IsViewable))
            window = 0;
        if (window == 0) usleep(50000);
    }
    if (window == 0) {
        std::fprintf(stderr, "x11-close-window: no window named %s\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    XEvent event;
    std::memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    // Asked again each second while the window stays, as a user clicks the close box again.
    for (int waited = 0; waited <= timeout; waited += 1000) {
        XSendEvent(display, window, False, NoEventMask, &event);
        XSync(display, False);
        for (int step = 0; step < 20; ++step) {
            usleep(50000);
            if (FindWindow(display, DefaultRootWindow(display), argv[1]) != window) {
                XCloseDisplay(display);
                return 0;
            }
        }
    }
    XCloseDisplay(display);
    return 0;
}
