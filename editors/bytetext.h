#pragma once

#include <QString>

#include <string>

// Terminal files hold 8-bit text. The editors show it byte for byte (Latin-1), so what they
// write back is exactly what they read, whatever the bytes.

inline QString FromBytes(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text)
{
    return text.toLatin1().toStdString();
}
