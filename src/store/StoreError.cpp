#include "store/StoreError.h"

StoreError::StoreError(int code, const QString &message, const QString &file)
    : std::runtime_error(message.toStdString()), m_code(code), m_message(message), m_file(file)
{
}
