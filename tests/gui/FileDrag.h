// A file dropped on another program's window as a file manager drops it: the
// drag-and-drop client messages from a connection of our own, the file
// offered as a URI list when the window asks for the selection.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// Last: the X headers define names such as None and Status.
#include <X11/Xlib.h>

namespace qola::ui::test {

// True once the window at the screen point has taken the file and said it has finished with it.
inline bool dropFile(unsigned long window, int x, int y, const std::string& path) {
  Display* display = XOpenDisplay(std::getenv("DISPLAY"));
  if (display == nullptr) return false;
  const Window source = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  auto atom = [&](const char* name) { return XInternAtom(display, name, False); };
  const Atom uriList = atom("text/uri-list"), status = atom("XdndStatus"), finished = atom("XdndFinished");
  auto send = [&](const char* type, long a, long b, long c, long d) {
    XEvent event{};
    event.xclient = {ClientMessage, 0, False, display, window, atom(type), 32, {}};
    const long data[] = {static_cast<long>(source), a, b, c, d};
    for (int i = 0; i < 5; ++i) event.xclient.data.l[i] = data[i];
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
  };
  XSetSelectionOwner(display, atom("XdndSelection"), source, CurrentTime);
  send("XdndEnter", 5L << 24, static_cast<long>(uriList), 0, 0);
  send("XdndPosition", 0, (static_cast<long>(x) << 16) | y, CurrentTime, static_cast<long>(atom("XdndActionCopy")));
  const std::string uris = "file://" + path + "\r\n";
  bool accepted = false, done = false;
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
       !done && std::chrono::steady_clock::now() < end;) {
    if (XPending(display) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ClientMessage && event.xclient.message_type == status && !accepted) {
      accepted = (event.xclient.data.l[1] & 1) != 0;
      if (!accepted) break;
      send("XdndDrop", 0, CurrentTime, 0, 0);
    } else if (event.type == ClientMessage && event.xclient.message_type == finished) {
      done = true;
    } else if (event.type == SelectionRequest) {
      const XSelectionRequestEvent& request = event.xselectionrequest;
      XEvent reply{};
      reply.xselection = {SelectionNotify, 0,      False,          display,     request.requestor,
                          request.selection, request.target, static_cast<Atom>(None), request.time};
      if (request.target == uriList) {
        XChangeProperty(display, request.requestor, request.property, uriList, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(uris.data()), static_cast<int>(uris.size()));
        reply.xselection.property = request.property;
      }
      XSendEvent(display, request.requestor, False, NoEventMask, &reply);
      XFlush(display);
    }
  }
  if (!done) send("XdndLeave", 0, 0, 0, 0);
  XDestroyWindow(display, source);
  XCloseDisplay(display);
  return done;
}

}  // namespace qola::ui::test
