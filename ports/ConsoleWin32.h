// tr7042k-ports' output on Windows. Its text is UTF-8; a console is written in UTF-16
// (WriteConsoleW), so that the Russian text reads right whatever the console's code page, and a
// file or a pipe gets the UTF-8 bytes as they are.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>

// The length of the longest start of the text that does not end inside a UTF-8 character: what
// may be converted now, the rest waiting for its next bytes. Bytes that can never become a
// character are not held back.
std::size_t WholeUtf8Length(const std::string& text);

// A stream buffer on a standard handle (GetStdHandle(STD_OUTPUT_HANDLE), ...). On a console it
// writes each line as it ends; elsewhere when its buffer fills, on a flush, and at its end.
class ConsoleOutput : public std::streambuf {
public:
    explicit ConsoleOutput(void* handle);
    ~ConsoleOutput() override;
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;
    bool IsConsole() const { return console_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize n) override;
    int sync() override;

private:
    // Writes what is pending; all of it, or (on a console) up to its last whole character.
    void Write(bool all);
    void* handle_;
    bool console_;
    std::string pending_;
};
