#pragma once
// Base of the errors the program raises with a text for the user (a conversion, the settings
// file, the serial port, a page field, an export): one way to carry and read the text.

#include <QString>
#include <stdexcept>

class EAppError : public std::runtime_error {
public:
    explicit EAppError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromStdString(what()); }
};
