// A file dragged from another program and dropped on a window, as a file
// manager does it: the drag-and-drop messages between two X clients, from
// a connection of its own, offering the file as a URI list.
#pragma once

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

// Last: the X headers define names such as None and Status.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace qola::ui::test {

class FileDrag {
 public:
  FileDrag() : display_(XOpenDisplay(std::getenv("DISPLAY"))) {
    if (display_ == nullptr) return;
    source_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    for (auto& [atom, name] : {std::pair{&enter_, "XdndEnter"}, {&position_, "XdndPosition"},
                               {&status_, "XdndStatus"}, {&drop_, "XdndDrop"}, {&finished_, "XdndFinished"},
                               {&leave_, "XdndLeave"}, {&selection_, "XdndSelection"},
                               {&copy_, "XdndActionCopy"}, {&uriList_, "text/uri-list"}}) {
      *atom = XInternAtom(display_, name, False);
    }
  }
  FileDrag(const FileDrag&) = delete;
  FileDrag& operator=(const FileDrag&) = delete;
  ~FileDrag() {
    if (display_ == nullptr) return;
    XDestroyWindow(display_, source_);
    XCloseDisplay(display_);
  }

  // Drops the file on the window at the screen point; true once the window
  // has taken the file and said it has finished with it.
  bool drop(unsigned long window, int x, int y, const std::string& path) {
    if (display_ == nullptr) return false;
    XSetSelectionOwner(display_, selection_, source_, CurrentTime);
    send(window, enter_, static_cast<long>(kVersion) << 24, static_cast<long>(uriList_));
    send(window, position_, 0, (static_cast<long>(x) << 16) | y, CurrentTime, static_cast<long>(copy_));
    XClientMessageEvent answer{};
    if (!await(status_, answer) || (answer.data.l[1] & 1) == 0) {
      send(window, leave_);
      return false;
    }
    send(window, drop_, 0, CurrentTime);
    const std::string uris = "file://" + path + "\r\n";
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;) {
      XEvent event;
      if (XPending(display_) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      XNextEvent(display_, &event);
      if (event.type == SelectionRequest) {
        answerRequest(event.xselectionrequest, uris);
      } else if (event.type == ClientMessage && event.xclient.message_type == finished_) {
        return true;
      }
    }
    return false;
  }

 private:
  static constexpr int kVersion = 5;

  void send(unsigned long window, Atom type, long a = 0, long b = 0, long c = 0, long d = 0) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(source_);
    event.xclient.data.l[1] = a;
    event.xclient.data.l[2] = b;
    event.xclient.data.l[3] = c;
    event.xclient.data.l[4] = d;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
  }

  bool await(Atom type, XClientMessageEvent& message) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         std::chrono::steady_clock::now() < end;) {
      if (XPending(display_) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == ClientMessage && event.xclient.message_type == type) {
        message = event.xclient;
        return true;
      }
    }
    return false;
  }

  void answerRequest(const XSelectionRequestEvent& request, const std::string& uris) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.time = request.time;
    reply.xselection.property = None;
    if (request.target == uriList_) {
      XChangeProperty(display_, request.requestor, request.property, uriList_, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(uris.data()), static_cast<int>(uris.size()));
      reply.xselection.property = request.property;
    }
    XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
    XFlush(display_);
  }

  Display* display_ = nullptr;
  Window source_ = 0;
  Atom enter_ = 0, position_ = 0, status_ = 0, drop_ = 0, finished_ = 0, leave_ = 0, selection_ = 0,
       copy_ = 0, uriList_ = 0;
};

}  // namespace qola::ui::test
