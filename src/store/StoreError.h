#pragma once

#include <QString>

#include <stdexcept>

// An engine failure: the engine's own message, the file it concerns and its
// extended result code. Store operations throw it; the window that started the
// user action catches it, shows the message and abandons the action.
class StoreError : public std::runtime_error
{
public:
    StoreError(int code, const QString &message, const QString &file = QString());
    int code() const { return m_code; }
    QString message() const { return m_message; }
    QString file() const { return m_file; }

private:
    int m_code;
    QString m_message;
    QString m_file;
};
