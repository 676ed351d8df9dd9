#include "WindowFinder.h"

#include <QGuiApplication>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <unistd.h>
#include <vector>

// Xlib last: its macros (None, Bool, Status...) clash with other headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

namespace findwindow {

namespace {

// Our own connection to the display Qt uses; opened on first use.
Display* Connection() {
    static Display* display = []() -> Display* {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return nullptr;
        return XOpenDisplay(nullptr);
    }();
    return display;
}

int ErrorCount = 0;
int CountError(Display*, XErrorEvent*) {
    ++ErrorCount; // a window destroyed during the walk: skip it
    return 0;
}

// Xlib's default handler ends the program on any error; while this lives,
// errors are counted instead.
class TErrorTrap {
public:
    explicit TErrorTrap(Display* d) : FDisplay(d) {
        XSync(d, False);
        FOld = XSetErrorHandler(CountError);
    }
    ~TErrorTrap() {
        XSync(FDisplay, False);
        XSetErrorHandler(FOld);
    }
    TErrorTrap(const TErrorTrap&) = delete;
    TErrorTrap& operator=(const TErrorTrap&) = delete;

private:
    Display* FDisplay;
    XErrorHandler FOld;
};

Atom AtomOf(Display* d, const char* name) {
    return XInternAtom(d, name, False);
}

// First 32-bit item of a window property, or false.
bool CardinalProperty(Display* d, Window w, Atom property, Atom type, unsigned long& value) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(d, w, property, 0, 1, False, type, &actual, &format, &items,
                                      &after, &data);
    const bool ok = rc == Success && data && format == 32 && items >= 1;
    if (ok)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    return ok;
}

// A property of 8-bit text (STRING), at most 256 bytes.
std::string TextProperty(Display* d, Window w, Atom property) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(d, w, property, 0, 64, False, XA_STRING, &actual, &format, &items,
                           &after, &data) == Success &&
        data && format == 8)
        text.assign(reinterpret_cast<const char*>(data), items);
    if (data)
        XFree(data);
    return text;
}

std::string Title(Display* d, Window w) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(d, w, AtomOf(d, "_NET_WM_NAME"), 0, 64, False, AtomOf(d, "UTF8_STRING"),
                           &actual, &format, &items, &after, &data) == Success &&
        data && format == 8)
        title.assign(reinterpret_cast<const char*>(data), items);
    if (data)
        XFree(data);
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(d, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

bool Iconic(Display* d, Window w) {
    const Atom wmState = AtomOf(d, "WM_STATE");
    unsigned long state = 0;
    return CardinalProperty(d, w, wmState, wmState, state) && state == IconicState;
}

struct TIdentity {
    std::int64_t Pid;
    const std::string& Title;
    const std::string& Role;
};

// The process of the client that created window w, as the X server knows it
// (the X Resource extension); -1 when the server cannot tell. Properties such
// as _NET_WM_PID or the window role are set by the window itself, and any
// program can copy them.
std::int64_t OwnerPid(Display* d, Window w) {
    static const bool available = [d] {
        int event = 0, error = 0, major = 0, minor = 0;
        return XResQueryExtension(d, &event, &error) && XResQueryVersion(d, &major, &minor) &&
               (major > 1 || (major == 1 && minor >= 2));
    }();
    if (!available)
        return -1;
    XResClientIdSpec client{static_cast<XID>(w), XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    std::int64_t pid = -1;
    if (XResQueryClientIds(d, 1, &client, &count, &ids) == Success) {
        for (long i = 0; i < count && pid < 0; ++i)
            if (XResGetClientIdType(&ids[i]) == XRES_CLIENT_ID_PID)
                pid = XResGetClientPid(&ids[i]);
        XResClientIdsDestroy(count, ids);
    }
    return pid;
}

bool Matches(Display* d, Window w, const TIdentity& id) {
    // Cheap tests first: most windows of the tree are no candidates at all.
    if (Title(d, w) != id.Title)
        return false;
    if (OwnerPid(d, w) != id.Pid)
        return false;
    // Qt 6 on X11 names no window class "QWidget" (its WM_CLASS is the
    // program's name), so the identity is the process, the exact title, no
    // owner and visibility.
    if (!id.Role.empty() && TextProperty(d, w, AtomOf(d, "WM_WINDOW_ROLE")) != id.Role)
        return false;
    Window transientFor = 0;
    if (XGetTransientForHint(d, w, &transientFor) && transientFor != 0)
        return false;
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a))
        return false;
    return a.map_state == IsViewable || Iconic(d, w);
}

// Depth-first from the root: a window manager reparents top-level windows
// into frames, without one they are the root's children.
Window Walk(Display* d, Window w, const TIdentity& id, int depth) {
    if (depth > 0 && Matches(d, w, id))
        return w;
    if (depth >= 16)
        return 0;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return 0;
    Window found = 0;
    // Topmost first, as the stacking order lists them bottom to top.
    for (unsigned int i = n; i-- > 0 && !found;)
        found = Walk(d, children[i], id, depth + 1);
    if (children)
        XFree(children);
    return found;
}

bool WindowManagerRuns(Display* d) {
    unsigned long check = 0;
    return CardinalProperty(d, DefaultRootWindow(d), AtomOf(d, "_NET_SUPPORTING_WM_CHECK"),
                            XA_WINDOW, check) &&
           check != 0;
}

void SendToRoot(Display* d, Window w, Atom type, long l0, long l1, long l2) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &e);
}

} // namespace

bool Available() {
    return Connection() != nullptr;
}

bool ProcessAlive(std::int64_t pid) {
    if (pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
        return false;
    // A process that ended but was not yet reaped is gone too.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true; // no /proc: the signal test has to do
    const std::size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

std::string ProcessExe(std::int64_t pid) {
    if (pid <= 0)
        return {};
    std::vector<char> buffer(4096);
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

TWindowId FindProcessMainWindow(std::int64_t pid, const std::string& title,
                                const std::string& role) {
    Display* d = Connection();
    if (!d || pid <= 0)
        return 0;
    TErrorTrap trap(d);
    return Walk(d, DefaultRootWindow(d), TIdentity{pid, title, role}, 0);
}

bool IsIconic(TWindowId w) {
    Display* d = Connection();
    if (!d || w == 0)
        return false;
    TErrorTrap trap(d);
    return Iconic(d, static_cast<Window>(w));
}

void BringToFront(TWindowId id, TWindowId main) {
    Display* d = Connection();
    if (!d || id == 0)
        return;
    (void)main; // raising the utility puts it above every window, the panel included
    TErrorTrap trap(d);
    const auto w = static_cast<Window>(id);
    if (WindowManagerRuns(d)) {
        // The window manager restores an iconified window and raises its frame.
        SendToRoot(d, w, AtomOf(d, "_NET_ACTIVE_WINDOW"), 2, CurrentTime, 0);
    } else {
        XMapRaised(d, w);
    }
    XRaiseWindow(d, w);
    XWindowAttributes a;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable)
        XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XFlush(d);
}

void PostQuit(TWindowId id) {
    Display* d = Connection();
    if (!d || id == 0)
        return;
    TErrorTrap trap(d);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = static_cast<Window>(id);
    e.xclient.message_type = AtomOf(d, "WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(AtomOf(d, "WM_DELETE_WINDOW"));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, static_cast<Window>(id), False, NoEventMask, &e);
    XFlush(d);
}

} // namespace findwindow
