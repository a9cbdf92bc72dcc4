#pragma once
// Base of every error the program shows to the user. Message is ANSI (code page 1251)
// text, except engine messages, which are passed through as the engine gives them.
#include "platform/AnsiString.h"
#include <exception>
#include <initializer_list>

class Exception : public std::exception {
public:
    explicit Exception(AnsiString message, int helpContext = 0)
        : Message(std::move(message)), HelpContext(helpContext) {}
    const char* what() const noexcept override { return Message.c_str(); }

    AnsiString Message;
    int HelpContext = 0;
};

// Formats a message with %s placeholders filled in order (the class library's Format).
AnsiString FormatMessage(const AnsiString& pattern, std::initializer_list<AnsiString> args);
