#include "ConsoleWin32.h"

#include <windows.h>

namespace {

const std::size_t kFileBuffer = 4096;

// The number of bytes of the UTF-8 character that starts with this byte; 0 for a byte that
// starts none (a continuation byte, or one UTF-8 never uses).
std::size_t CharacterLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

} // namespace

std::size_t WholeUtf8Length(const std::string& text) {
    // Only the last three bytes can belong to a character still missing bytes.
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const unsigned char c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) continue; // a continuation byte: its lead is further back
        const std::size_t length = CharacterLength(c);
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

ConsoleOutput::ConsoleOutput(void* handle) : handle_(handle), console_(false) {
    DWORD mode = 0;
    console_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

ConsoleOutput::~ConsoleOutput() {
    Write(true);
}

ConsoleOutput::int_type ConsoleOutput::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
}

std::streamsize ConsoleOutput::xsputn(const char* text, std::streamsize n) {
    pending_.append(text, static_cast<std::size_t>(n));
    if (console_ ? pending_.find('\n') != std::string::npos : pending_.size() >= kFileBuffer)
        Write(false);
    return n;
}

int ConsoleOutput::sync() {
    Write(false);
    return 0;
}

void ConsoleOutput::Write(bool all) {
    if (pending_.empty() || !handle_ || handle_ == INVALID_HANDLE_VALUE) return;
    if (!console_) {
        // Whatever is not taken is given up: there is nobody to tell.
        DWORD written = 0;
        WriteFile(handle_, pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr);
        pending_.clear();
        return;
    }
    const std::size_t n = all ? pending_.size() : WholeUtf8Length(pending_);
    if (n == 0) return;
    const int chars =
        MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(n), nullptr, 0);
    std::wstring wide(chars > 0 ? static_cast<std::size_t>(chars) : 0, L'\0');
    if (chars > 0)
        MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(n), wide.data(), chars);
    for (std::size_t done = 0; done < wide.size();) {
        DWORD written = 0;
        if (!WriteConsoleW(handle_, wide.data() + done, static_cast<DWORD>(wide.size() - done),
                           &written, nullptr) ||
            written == 0)
            break;
        done += written;
    }
    pending_.erase(0, n);
}
