/* xdnd_drop: drops files on the X window under a screen point the way a Linux file manager does
 * (the XDND protocol, text/uri-list), so the end-to-end tests reach the program through Wine's own
 * drag-and-drop bridge rather than a message posted from inside.
 *
 *   xdnd_drop X Y PATH...     exit 0 when the target accepted and finished the drop
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

static Display* display;
static Atom aware, enter, position, statusAtom, drop, finished, selection, uriList, actionCopy;

/* The deepest window at root point (x, y) that says it takes XDND drops, or None. */
static Window targetAt(int x, int y)
{
    Window root = DefaultRootWindow(display), from = root, child = None, found = None;
    int wx, wy;
    while (XTranslateCoordinates(display, root, from, x, y, &wx, &wy, &child) && child != None)
    {
        Atom type;
        int format;
        unsigned long count, left;
        unsigned char* data = NULL;
        if (XGetWindowProperty(display, child, aware, 0, 1, False, AnyPropertyType, &type, &format, &count,
                               &left, &data) == Success &&
            type != None)
            found = child;
        if (data) XFree(data);
        from = child;
    }
    return found;
}

static void sendMessage(Window target, Atom type, long l0, long l1, long l2, long l3, long l4)
{
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(display, target, False, NoEventMask, &event);
    XFlush(display);
}

/* file:// URIs, one per line, with every byte outside the unreserved set percent-encoded. */
static char* uriListOf(int count, char** paths)
{
    size_t size = 1;
    for (int i = 0; i < count; ++i)
        size += 7 + 3 * strlen(paths[i]) + 2;
    char* list = malloc(size);
    char* out = list;
    for (int i = 0; i < count; ++i)
    {
        out += sprintf(out, "file://");
        for (const unsigned char* c = (const unsigned char*)paths[i]; *c; ++c)
            if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
                strchr("/-_.~", *c))
                *out++ = (char)*c;
            else
                out += sprintf(out, "%%%02X", *c);
        out += sprintf(out, "\r\n");
    }
    *out = '\0';
    return list;
}

int main(int argc, char** argv)
{
    if (argc < 4)
    {
        fprintf(stderr, "usage: xdnd_drop X Y PATH...\n");
        return 2;
    }
    display = XOpenDisplay(NULL);
    if (display == NULL) return 2;
    aware = XInternAtom(display, "XdndAware", False);
    enter = XInternAtom(display, "XdndEnter", False);
    position = XInternAtom(display, "XdndPosition", False);
    statusAtom = XInternAtom(display, "XdndStatus", False);
    drop = XInternAtom(display, "XdndDrop", False);
    finished = XInternAtom(display, "XdndFinished", False);
    selection = XInternAtom(display, "XdndSelection", False);
    uriList = XInternAtom(display, "text/uri-list", False);
    actionCopy = XInternAtom(display, "XdndActionCopy", False);

    const int x = atoi(argv[1]), y = atoi(argv[2]);
    Window target = targetAt(x, y);
    if (target == None)
    {
        fprintf(stderr, "no XDND target at %d,%d\n", x, y);
        return 1;
    }
    Window source = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    char* list = uriListOf(argc - 3, argv + 3);
    XSetSelectionOwner(display, selection, source, CurrentTime);
    sendMessage(target, enter, (long)source, 5L << 24, (long)uriList, 0, 0);
    sendMessage(target, position, (long)source, 0, ((long)x << 16) | y, CurrentTime, (long)actionCopy);

    int dropped = 0, result = 1;
    const time_t deadline = time(NULL) + 10;
    while (time(NULL) < deadline)
    {
        if (!XPending(display))
        {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(ConnectionNumber(display), &fds);
            struct timeval wait = {0, 100000};
            select(ConnectionNumber(display) + 1, &fds, NULL, NULL, &wait);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionRequest)
        {
            XSelectionRequestEvent* request = &event.xselectionrequest;
            XEvent reply;
            memset(&reply, 0, sizeof reply);
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request->requestor;
            reply.xselection.selection = request->selection;
            reply.xselection.target = request->target;
            reply.xselection.time = request->time;
            reply.xselection.property = None;
            if (request->target == uriList)
            {
                XChangeProperty(display, request->requestor, request->property, uriList, 8, PropModeReplace,
                                (unsigned char*)list, (int)strlen(list));
                reply.xselection.property = request->property;
            }
            XSendEvent(display, request->requestor, False, NoEventMask, &reply);
            XFlush(display);
        }
        else if (event.type == ClientMessage && event.xclient.message_type == statusAtom && !dropped)
        {
            if (!(event.xclient.data.l[1] & 1))
            {
                fprintf(stderr, "the target refused the drop\n");
                break;
            }
            sendMessage(target, drop, (long)source, 0, CurrentTime, 0, 0);
            dropped = 1;
        }
        else if (event.type == ClientMessage && event.xclient.message_type == finished)
        {
            result = 0;
            break;
        }
    }
    if (result != 0 && dropped == 0) fprintf(stderr, "no answer from the target\n");
    free(list);
    XCloseDisplay(display);
    return result;
}
