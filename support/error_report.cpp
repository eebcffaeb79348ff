// error_report.cpp -- composing a report and handing it to the sink.
#include "error_report.h"

#include "lng.h"
#include "os_error.h"

namespace tessary {

namespace {

ErrorSink gErrorSink;

bool IsControlOrBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string TrimControls(std::string text) {
    std::size_t end = text.size();
    while (end > 0 && IsControlOrBlank(text[end - 1]))
        --end;
    std::size_t begin = 0;
    while (begin < end && IsControlOrBlank(text[begin]))
        ++begin;
    return text.substr(begin, end - begin);
}

// The system's words for an error number, without the closing full stop and
// line end some of them carry.
std::string SystemText(std::int32_t osError) {
    std::string text = SysErrorText(osError);
    while (!text.empty() && (IsControlOrBlank(text.back()) || text.back() == '.'))
        text.pop_back();
    return text;
}

} // namespace

void SetErrorSink(ErrorSink sink) {
    gErrorSink = std::move(sink);
}

void ReportError(std::int32_t errorCode, std::int32_t osError, std::int32_t kind,
                 std::string_view text) {
    const std::string codeText = errorCode != 0 ? GetLngError(errorCode) : std::string();
    const std::string systemText = osError != 0 ? SystemText(osError) : std::string();
    // Both separating spaces stay even when a part is empty.
    const std::string message = TrimControls(codeText + " " + systemText + " " + std::string(text));
    if (gErrorSink)
        gErrorSink(message, kind);
    else
        ShowMessageBox(message);
}

} // namespace tessary
