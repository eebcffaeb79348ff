// error_report.h -- turns a failure into one line of text for the registered
// sink, or for a message box when no sink is registered.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tessary {

// Receives each composed report with its kind; the result is ignored.
using ErrorSink = std::function<std::int32_t(const std::string& message, std::int32_t kind)>;

// Makes `sink` the receiver of all later reports; an empty function removes it.
void SetErrorSink(ErrorSink sink);

// Composes "<error text> <system text> <text>", trimmed at both ends, and hands
// it to the sink (or to ShowMessageBox when there is none). `errorCode` 0 and
// `osError` 0 contribute nothing. Raises nothing of its own.
void ReportError(std::int32_t errorCode, std::int32_t osError, std::int32_t kind,
                 std::string_view text);

// Shows `text` under the caption "Message" with only an OK button and waits
// until it is closed. Goes to the handler set below; by default writes to stderr.
void ShowMessageBox(const std::string& text);

// Shows one message and returns when the user has closed it.
using MessageBoxHandler = std::function<void(const std::string& caption, const std::string& text)>;
// Replaces how ShowMessageBox shows its text (a window's message box, a test's
// recorder); an empty function restores the stderr default.
void SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace tessary
