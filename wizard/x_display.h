// Whether an X display can be reached, found out before Qt opens it: Qt's
// X11 platform waits without end on a display that takes the connection
// and never answers.
#pragma once

#include <string>

// How long a display has to answer the first request of its connection.
constexpr int x_display_answer_ms = 5000;

// True when the display, named as DISPLAY names it ("[protocol/][host]:N[.S]"),
// takes a connection and answers its setup request (success, refusal or a
// request for more authentication alike) within wait_ms; false when it
// cannot be connected to or stays silent. A far end that closes the
// connection counts as an answer: Qt reports that one itself. Names of a
// form not checked here (a socket path, DECnet) are taken as reachable.
bool x_display_answers(const std::string& display, int wait_ms);
