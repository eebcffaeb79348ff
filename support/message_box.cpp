// message_box.cpp -- a plain message with an OK button, shown by whoever can.
#include "error_report.h"

#include <cstdio>

namespace tessary {

namespace {

MessageBoxHandler gMessageBoxHandler;

// Without a window to own it, the message goes to the terminal.
void WriteToStderr(const std::string& caption, const std::string& text) {
    std::fwrite(caption.data(), 1, caption.size(), stderr);
    std::fputs(": ", stderr);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) {
    gMessageBoxHandler = std::move(handler);
}

void ShowMessageBox(const std::string& text) {
    static const std::string caption = "Message";
    if (gMessageBoxHandler)
        gMessageBoxHandler(caption, text);
    else
        WriteToStderr(caption, text);
}

} // namespace tessary
