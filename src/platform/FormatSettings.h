#pragma once
// The user's number format settings; the application fills them from the locale at start.
struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
};

TFormatSettings& FormatSettings();
